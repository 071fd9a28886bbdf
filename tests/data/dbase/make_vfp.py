# Writes vfp_types.dbf and vfp_types.fpt: a Visual FoxPro table with the field types I, Y, B, T, M
# and C, a nullable field and the _NullFlags system field, as Visual FoxPro lays them out
# (checked with python3-dbfread, which reads it):  /usr/bin/python3 make_vfp.py
import struct

fields = [  # name, type, length, decimals, flags
    ("ID", "I", 4, 0, 0),
    ("NAME", "C", 10, 0, 0),
    ("AMOUNT", "Y", 8, 4, 0),
    ("RATE", "B", 8, 2, 0),
    ("STAMP", "T", 8, 0, 0x02),  # may be Null
    ("NOTE", "M", 4, 0, 0),
    ("_NullFlags", "0", 1, 0, 0x05),
]
JULIAN_1970 = 2440588


def julian(y, m, d):
    a = (14 - m) // 12
    yy, mm = y + 4800 - a, m + 12 * a - 3
    return d + (153 * mm + 2) // 5 + 365 * yy + yy // 4 - yy // 100 + yy // 400 - 32045


memos = [b"", "第一条备注".encode("gbk"), b"second memo"]
fpt_block = 64
fpt = bytearray(struct.pack(">I", 0) + b"\0\0" + struct.pack(">H", fpt_block) + b"\0" * 504)
blocks = []
for text in memos[1:]:
    blocks.append(len(fpt) // fpt_block)
    chunk = struct.pack(">II", 1, len(text)) + text
    chunk += b"\0" * (-len(chunk) % fpt_block)
    fpt += chunk
fpt[0:4] = struct.pack(">I", len(fpt) // fpt_block)

rows = [
    (1, "张三".encode("gbk"), 123456, 0.25, (2021, 3, 15, 10 * 3600000 + 20 * 60000 + 30000), blocks[0], False),
    (-7, b"Bob", -5, -1.5, None, blocks[1], True),
    (2147483647, b"", 0, 0.0, (1899, 12, 30, 0), 0, False),
]
record_length = 1 + sum(f[2] for f in fields)
header_length = 32 + 32 * len(fields) + 1 + 263
out = bytearray(struct.pack("<BBBBIHH", 0x30, 126, 12, 9, len(rows), header_length, record_length))
out += b"\0" * 16 + bytes([0x02 | 0x04, 0x7A]) + b"\0\0"  # has memo; code page GBK (0x7A)
offset = 1
for name, t, length, dec, flags in fields:
    out += name.encode().ljust(11, b"\0") + t.encode() + struct.pack("<I", offset)
    out += bytes([length, dec, flags]) + b"\0" * 13
    offset += length
out += b"\x0D" + b"\0" * 263
for ident, name, cents, rate, stamp, memo, stamp_null in rows:
    rec = b" " + struct.pack("<i", ident) + name.ljust(10, b" ")
    rec += struct.pack("<q", cents * 100) + struct.pack("<d", rate)
    if stamp:
        y, m, d, ms = stamp
        rec += struct.pack("<II", julian(y, m, d), ms)
    else:
        rec += b"\0" * 8
    rec += struct.pack("<I", memo) + bytes([0x01 if stamp_null else 0x00])
    assert len(rec) == record_length
    out += rec
out += b"\x1A"
open("vfp_types.dbf", "wb").write(out)
open("vfp_types.fpt", "wb").write(fpt)
