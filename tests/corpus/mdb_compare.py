# mdb_compare.py READER [--strict] FILE...: every table of each Access file read by our reader
# (qx_mdb_dump) and by mdb-export, row by row. Prints the first difference of each table that
# differs and the counts; a crash or a hang fails, and with --strict so does a table mdb-export
# reads that we refuse or read otherwise. mdb-export's own faults are not counted as differences:
# the dates it cannot format, a GUID written without its fourth dash, "?" for a byte the code
# page does not define (ours: U+FFFD), "??" for a character beyond the Basic Multilingual Plane. Rows that moved to another page it lists where they went,
# after the others: such a table is reported as the same rows in another order, for a look at
# the raw bytes (tests/corpus/README.md). Run with Debian's /usr/bin/python3.
import csv
import io
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helper_wire as wire  # noqa: E402


def cells(payload):
    return [c if c is None else c[1] for c in wire.cells(payload)]


def same(x, y):
    if x is None:
        return y == ""
    if isinstance(x, float):
        try:
            return abs(x - float(y)) <= 1e-6 * max(1, abs(x))
        except ValueError:
            return False
    # Binary columns (and GUIDs, which mdb-export shows as their bytes) as -b hex writes them.
    if isinstance(x, bytes) and len(y) == 2 * len(x) and x.hex().upper() == y.upper():
        return True
    xs = x.decode("utf-8", "replace") if isinstance(x, bytes) else str(x)
    # A GUID, which mdb-export writes as the hex of its text without the dash before the last
    # twelve digits.
    if re.fullmatch(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}", xs):
        try:
            return bytes.fromhex(y).decode() == xs[:24] + xs[25:]
        except ValueError:
            return False
    # A character beyond the Basic Multilingual Plane, which mdb-export writes as "??".
    if "".join("??" if ord(ch) > 0xFFFF else ch for ch in xs) == y:
        return True
    # A byte the code page leaves undefined: "?" there, U+FFFD here.
    if "\ufffd" in xs and len(xs) == len(y) and all(
            a == b or (a == "\ufffd" and b == "?") for a, b in zip(xs, y)):
        return True
    # mdb-export cannot show a date before 1900 or after 2037 (it writes 01/00/00 00:00:00).
    year = re.match(r"(\d{4})-\d\d-\d\d", xs)
    if y == "01/00/00 00:00:00" and year and not 1900 <= int(year.group(1)) <= 2037:
        return True
    # mdb-export writes dates as MM/DD/YY and Yes/No as 1/0 (Jet's True is -1).
    m = re.fullmatch(r"(\d\d)/(\d\d)/(\d\d) (\d\d:\d\d:\d\d)", y)
    if m and len(xs) == 19:
        y = f"{xs[:2]}{m.group(3)}-{m.group(1)}-{m.group(2)} {m.group(4)}"
    if y in ("0", "1") and xs in ("0", "-1"):
        return (y == "1") == (xs == "-1")
    return xs == y


exe = sys.argv[1]
strict = "--strict" in sys.argv[2:]
files = [a for a in sys.argv[2:] if a != "--strict"]
total = identical = reordered = refused = crashed = hung = 0


def same_rows(a, b):
    return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))


def reorder_of(ours, ref):
    """True when the rows are the same, in another order."""
    left = list(ref)
    for row in ours:
        k = next((i for i, r in enumerate(left) if same_rows(row, r)), None)
        if k is None:
            return False
        del left[k]
    return True


for path in files:
    tables = subprocess.run(["mdb-tables", "-1", path], capture_output=True, text=True).stdout
    for t in [t for t in tables.split("\n") if t]:
        total += 1
        try:
            msgs = wire.messages(exe, "read", path, t)
        except (wire.Crashed, wire.Hung) as e:
            crashed += isinstance(e, wire.Crashed)
            hung += isinstance(e, wire.Hung)
            print(f"{path} {t}: {e}")
            continue
        errors = [p.decode() for k, p in msgs if k == "E"]
        ours = [cells(p) for k, p in msgs if k == "R"]
        r = subprocess.run(["mdb-export", "-b", "hex", path, t], capture_output=True)
        ref = list(csv.reader(io.StringIO(r.stdout.decode("utf-8", "replace"))))[1:]
        if errors:
            refused += 1
            print(f"{path} {t}: ours refused: {errors[0]} (mdb-export: {len(ref)} rows)")
            continue
        if len(ours) != len(ref):
            print(f"{path} {t}: {len(ours)} rows, mdb-export {len(ref)}")
            continue
        diff = next((f"row {i + 1} column {j + 1}: ours {x!r}, mdb-export {y!r}"
                     for i, (a, b) in enumerate(zip(ours, ref))
                     for j, (x, y) in enumerate(zip(a, b)) if not same(x, y)), None)
        if diff and len(ours) <= 10000 and reorder_of(ours, ref):
            reordered += 1
            print(f"{path} {t}: the same rows in another order")
        elif diff:
            print(f"{path} {t}: {diff[:300]}")
        else:
            identical += 1
print(f"mdb: {len(files)} files, {total} tables: {total - refused - crashed - hung} read "
      f"({identical} identical, {reordered} the same rows in another order), {refused} refused with a message, {crashed} crashed, {hung} hung")
sys.exit(1 if crashed or hung or (strict and identical < total) else 0)
