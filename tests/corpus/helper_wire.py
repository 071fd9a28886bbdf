# What our reading helpers (qx_xls_reader) and our readers' dump programs (qx_mdb_dump, qx_xlsx_dump) send, decoded: messages
# of a kind byte and a length, rows of tagged cells (platform/isam/helper_wire.h).
import struct
import subprocess


class Crashed(Exception):
    """The reader died: a signal, or a sanitizer's report."""


class Hung(Exception):
    """The reader ran for two minutes."""


def messages(exe, *args):
    try:
        run = subprocess.run([exe, *args], capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        raise Hung(f"{' '.join(args)}: no answer in 120 s") from None
    if run.returncode < 0 or b"Sanitizer" in run.stderr:
        raise Crashed(f"exit status {run.returncode}: {run.stderr.decode(errors='replace')[-200:]}")
    out = run.stdout
    msgs, at = [], 0
    while at + 5 <= len(out):
        kind = chr(out[at])
        n = struct.unpack_from("<I", out, at + 1)[0]
        msgs.append((kind, out[at + 5:at + 5 + n]))
        at += 5 + n
    return msgs


def cells(payload):
    """A row's cells: None, ('int', n), ('num'|'date'|'bool', x) or ('text'|'blob', bytes)."""
    row, at = [], 0
    names = {2: "num", 5: "date", 6: "bool", 3: "text", 4: "blob"}
    while at < len(payload):
        tag = payload[at]
        at += 1
        if tag == 1:
            row.append(("int", struct.unpack_from("<q", payload, at)[0]))
            at += 8
        elif tag in (2, 5, 6):
            row.append((names[tag], struct.unpack_from("<d", payload, at)[0]))
            at += 8
        elif tag in (3, 4):
            n = struct.unpack_from("<I", payload, at)[0]
            row.append((names[tag], payload[at + 4:at + 4 + n]))
            at += 4 + n
        else:
            row.append(None)
    return row
