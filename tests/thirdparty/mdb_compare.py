"""mdb_compare.py [--libmdb] ACTUAL EXPECTED: compares what a reader gave with the expected lines.

--libmdb: for readers built on libmdb (mdb-export), which cannot tell an empty
text from Null (mdb-export only), decode UCS-2 without surrogate pairs (a character beyond the
Basic Multilingual Plane comes out as "??") and misprint dates outside 1900-2100 (mdb-export):
those differences, and only those, are accepted.

ACTUAL is either mdb-export output (cells separated by U+001F) or the JSON lines of read.mjs
(first line the columns). EXPECTED has cells joined by "|" (see mdb_sample.cpp). Numbers compare
by value (singles to single precision); everything else as text."""
import json
import math
import sys


def cells_of(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if lines and lines[0].startswith('{"columns"'):
        rows = []
        for line in lines[1:]:
            out = []
            for v in json.loads(line):
                if v is None:
                    out.append("NULL")
                elif v is True or v is False:
                    out.append("1" if v else "0")
                elif isinstance(v, str) and len(v) == 24 and v[10] == "T" and v.endswith("Z"):
                    out.append(v[:10] + " " + v[11:19])
                else:
                    out.append(str(v))
            rows.append(out)
        return rows
    sep = "\x1f" if "\x1f" in text else "|"
    return [line.split(sep) for line in lines]


def same(a, b):
    if a == b:
        return True
    try:
        x, y = float(a), float(b)
    except ValueError:
        return False
    return math.isclose(x, y, rel_tol=1e-6, abs_tol=1e-9)


libmdb = sys.argv[1] == "--libmdb"
args = sys.argv[2:] if libmdb else sys.argv[1:]
actual, expected = cells_of(args[0]), cells_of(args[1])


def libmdb_same(a, e):
    if same(a, e):
        return True
    if a == "NULL" and e == "":
        return True
    if "".join("??" if ord(ch) > 0xFFFF else ch for ch in e) == a:
        return True
    dated = len(e) == 19 and e[4] == "-" and e[13] == ":"
    return dated and not 1900 <= int(e[:4]) <= 2100


if libmdb:
    same_cell = libmdb_same
else:
    same_cell = same
if len(actual) != len(expected):
    print(f"{len(actual)} rows, expected {len(expected)}")
    sys.exit(1)
bad = 0
for n, (a, e) in enumerate(zip(actual, expected), 1):
    if len(a) != len(e) or not all(same_cell(x, y) for x, y in zip(a, e)):
        bad += 1
        if bad <= 3:
            print(f"row {n}:\n  got      {'|'.join(a)[:300]}\n  expected {'|'.join(e)[:300]}")
sys.exit(1 if bad else 0)
