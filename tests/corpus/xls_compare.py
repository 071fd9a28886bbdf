# xls_compare.py HELPER [--strict] [--xlsx] FILE...: each workbook's first worksheet read by our
# reader (qx_xls_reader, or qx_xlsx_dump with --xlsx) and by a reference reader (xlrd, or
# openpyxl with cached formula values), cell by cell. Prints one line per file: identical, the
# first difference, or why a side could not read it. Run with Debian's /usr/bin/python3.
import datetime
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helper_wire as wire  # noqa: E402

import xlrd


def cells(payload):
    row = [c if c is None or c[0] != "text" else ("text", c[1].decode("utf-8", "replace"))
           for c in wire.cells(payload)]
    while row and row[-1] is None:
        row.pop()
    return row


def ours(exe, path):
    listing = wire.messages(exe, "list", path)
    sheets = [p.decode() for k, p in listing if k == "T"]
    errors = [p.decode() for k, p in listing if k == "E"]
    if errors or not sheets:
        return None, (errors[0] if errors else "no sheet")
    rows = []
    for k, p in wire.messages(exe, "read", path, sheets[0]):
        if k == "E":
            return None, p.decode()
        if k == "R":
            rows.append(cells(p))
    return (sheets[0], rows), None


def trimmed(rows):
    """Rows without their empty cells at the right, and without empty rows at the end."""
    for row in rows:
        while row and row[-1] is None:
            row.pop()
    while rows and not rows[-1]:
        rows.pop()
    return rows


def reference(path):
    book = xlrd.open_workbook(path)
    # xlrd gives the workbook's serials; Jet counts days from 1899-12-30 in both date systems.
    shift = 1462 if book.datemode == 1 else 0
    sheet = next((s for s in book.sheets() if s.visibility is not None), None)
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in sheet.row(r):
            t = c.ctype
            if t == xlrd.XL_CELL_NUMBER:
                row.append(("num", c.value) if c.value == c.value else None)  # NaN: no value
            elif t == xlrd.XL_CELL_TEXT:
                row.append(("text", c.value) if c.value != "" else None)
            elif t == xlrd.XL_CELL_BOOLEAN:
                row.append(("bool", float(c.value)))
            elif t == xlrd.XL_CELL_DATE:
                row.append(("date", c.value + shift))
            else:
                row.append(None)
        rows.append(row)
    return sheet.name, trimmed(rows)


def reference_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, data_only=True)
    sheet = book.worksheets[0]
    epoch = datetime.datetime(1899, 12, 30)
    rows = []
    for r in sheet.iter_rows():
        row = []
        for c in r:
            v = c.value
            if v is None or c.data_type == "e":
                row.append(None)
            elif isinstance(v, bool):
                row.append(("bool", float(v)))
            elif isinstance(v, (int, float)):
                row.append(("num", float(v)) if v == v else None)
            elif isinstance(v, datetime.datetime):
                row.append(("date", (v - epoch).total_seconds() / 86400))
            elif isinstance(v, datetime.date):
                row.append(("date", float((v - epoch.date()).days)))
            elif isinstance(v, datetime.time):
                row.append(("date", (v.hour * 3600 + v.minute * 60 + v.second) / 86400))
            elif isinstance(v, datetime.timedelta):
                row.append(("date", v.total_seconds() / 86400))
            else:
                row.append(("text", str(v)) if str(v) != "" else None)
        rows.append(row)
    return sheet.title, trimmed(rows)


def same(a, b):
    if a is None or b is None:
        return a == b
    if a[0] == "date" and b[0] == "date":
        # xlrd gives the workbook's serial, we Jet's: the same day from 1900-03-01 on.
        return b[1] < 61 or abs(a[1] - b[1]) < 1e-6
    if a[0] != b[0]:
        return False
    return abs(a[1] - b[1]) < 1e-9 * max(1, abs(b[1])) if a[0] != "text" else a[1] == b[1]


exe = sys.argv[1]
counts = {"identical": 0, "different": 0, "refused": 0, "reference failed": 0, "crashed": 0,
          "hung": 0}
strict = "--strict" in sys.argv[2:]
xlsx = "--xlsx" in sys.argv[2:]
sys.argv = [a for a in sys.argv if a not in ("--strict", "--xlsx")]
for path in sys.argv[2:]:
    try:
        got, why = ours(exe, path)
    except (wire.Crashed, wire.Hung) as e:
        state = "crashed" if isinstance(e, wire.Crashed) else "hung"
        counts[state] += 1
        print(f"{path}: {state}: {e}")
        continue
    try:
        name, want = reference_xlsx(path) if xlsx else reference(path)
    except Exception as e:
        counts["reference failed"] += 1
        print(f"{path}: the reference cannot read it ({str(e)[:60]}); ours: {why or 'read'}")
        continue
    if got is None:
        counts["refused"] += 1
        print(f"{path}: refused: {why}")
        continue
    rows = got[1]
    while rows and not rows[-1]:
        rows.pop()
    diff = None
    for r in range(max(len(rows), len(want))):
        a = rows[r] if r < len(rows) else []
        b = want[r] if r < len(want) else []
        for c in range(max(len(a), len(b))):
            x = a[c] if c < len(a) else None
            y = b[c] if c < len(b) else None
            if not same(x, y):
                diff = f"row {r + 1} column {c + 1}: ours {x!r}, reference {y!r}"
                break
        if diff:
            break
    if diff:
        counts["different"] += 1
        print(f"{path}: {diff}")
    else:
        counts["identical"] += 1
        print(f"{path}: identical ({len(want)} rows)")
files = len(sys.argv) - 2
read = counts["identical"] + counts["different"]
print(f"{'xlsx' if xlsx else 'xls'}: {files} files: {read} read ({counts['identical']} identical, "
      f"{counts['different']} different), {counts['refused']} refused with a message, "
      f"{counts['crashed']} crashed, {counts['hung']} hung; the reference reader cannot read "
      f"{counts['reference failed']}")
# A crash or a hang fails always; --strict: every file the reference reads must be read, and
# read the same.
bad = counts["crashed"] or counts["hung"]
sys.exit(1 if bad or (strict and (counts["different"] or counts["refused"])) else 0)
