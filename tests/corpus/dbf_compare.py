# dbf_compare.py DUMP [--strict] FILE...: each dBASE table read by our reader (qx_dbf_dump) and
# by dbfread, value by value. Prints one line per file (identical, the first difference, or why a
# side could not read it) and the counts; with --strict, a table dbfread reads that we refuse or
# read otherwise fails. Run with Debian's /usr/bin/python3 (python3-dbfread).
import datetime
import decimal
import json
import subprocess
import sys

import dbfread


def ours(exe, path):
    try:
        run = subprocess.run([exe, path], capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return "hung", None
    if run.returncode < 0 or run.returncode > 1:
        return "crashed", f"exit status {run.returncode}: {run.stderr.decode(errors='replace')[-300:]}"
    lines = [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]
    errors = [x["error"] for x in lines if isinstance(x, dict) and "error" in x]
    if errors:
        return "refused", errors[0]
    header = lines[0] if lines and isinstance(lines[0], dict) else {}
    return "read", ([x for x in lines if isinstance(x, list)], header.get("charset", ""))


def reference(path, charset):
    last = None
    # dbfread takes the code page from the language-driver byte; when it knows none, the one
    # our reader took from the file, then GBK and UTF-8 (the encodings our reader detects).
    for encoding in (None, charset or None, "gbk", "utf-8"):
        try:
            # Fields as a list (names may repeat); Visual FoxPro's _NullFlags is bookkeeping.
            table = dbfread.DBF(path, encoding=encoding, char_decode_errors="strict",
                                recfactory=lambda items: [v for k, v in items
                                                          if k != "_NullFlags"])
            return list(table)
        except (UnicodeDecodeError, LookupError) as e:
            last = e
    raise last


def same(mine, ref):
    if ref is None or ref == "" or ref == b"":
        return mine is None or mine.get("t") == "" or mine.get("b") == ""
    if mine is None:
        return False
    if isinstance(ref, bool):
        return mine.get("n") in ((-1,) if ref else (0,))
    if isinstance(ref, (int, float, decimal.Decimal)):
        n = mine.get("n")
        if n is None and "t" in mine:
            try:
                n = float(mine["t"])
            except ValueError:
                return False
        return n is not None and abs(float(ref) - n) <= 1e-9 * max(1.0, abs(float(ref)))
    if isinstance(ref, (datetime.date, datetime.datetime)):
        if not isinstance(ref, datetime.datetime):
            ref = datetime.datetime(ref.year, ref.month, ref.day)
        # Jet keeps whole seconds; FoxPro's times have milliseconds.
        ref = (ref + datetime.timedelta(microseconds=500000)).replace(microsecond=0)
        return mine.get("t", "")[:19] == ref.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(ref, bytes):
        return mine.get("b") == ref.hex() or mine.get("t", "").encode("latin-1", "replace") == ref
    return mine.get("t") == str(ref) or mine.get("t") == str(ref).rstrip()


def compare(exe, path):
    state, rows = ours(exe, path)
    charset = ""
    if state == "read":
        rows, charset = rows
    try:
        ref = reference(path, charset)
    except Exception as e:  # noqa: BLE001 - any refusal of the reference reader
        ref, why = None, f"{type(e).__name__}: {e}"
    if ref is None:
        return state, "reference refuses: " + why
    if state != "read":
        return state, rows
    if len(rows) != len(ref):
        return "differs", f"{len(rows)} rows, dbfread {len(ref)}"
    for r, (a, b) in enumerate(zip(rows, ref)):
        if len(a) != len(b):
            return "differs", f"row {r + 1}: {len(a)} values, dbfread {len(b)}"
        for c, (x, y) in enumerate(zip(a, b)):
            if not same(x, y):
                return "differs", f"row {r + 1} column {c + 1}: {x!r}, dbfread {y!r}"
    return "identical", f"{len(rows)} rows"


def main():
    exe = sys.argv[1]
    strict = "--strict" in sys.argv[2:]
    files = [a for a in sys.argv[2:] if a != "--strict"]
    counts = {}
    bad = 0
    for path in files:
        state, detail = compare(exe, path)
        counts[state] = counts.get(state, 0) + 1
        print(f"{path}: {state}: {detail}")
        referenceReads = not str(detail).startswith("reference refuses")
        if state in ("crashed", "hung") or (strict and referenceReads and state != "identical"):
            bad += 1
    read = sum(counts.get(s, 0) for s in ("identical", "differs", "read"))
    print(f"dbf: {len(files)} files: {read} read ({counts.get('identical', 0)} identical), "
          f"{counts.get('refused', 0)} refused with a message, {counts.get('crashed', 0)} crashed, "
          f"{counts.get('hung', 0)} hung")
    sys.exit(1 if bad else 0)


main()
