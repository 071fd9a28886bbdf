# make_tables.py ROWS SEED [--unique]: the tables the fault tests export, in the current folder:
# big.csv (ROWS rows of key, name, amount; keys random, or 0, 1, 2, … with --unique), small.csv
# (one row), and the same two as workbooks (a workbook read's result is saved as a workbook).
# Run with Debian's /usr/bin/python3 (python3-openpyxl).
import csv
import random
import sys

import openpyxl

rows, seed = int(sys.argv[1]), int(sys.argv[2])
unique = "--unique" in sys.argv[3:]
r = random.Random(seed)
with open("big.csv", "w", encoding="utf-8") as f:
    for i in range(rows):
        key = i if unique else r.randrange(rows // 2)
        f.write(f"{key},名称{r.randrange(1000)},{r.random() * 1000:.2f}\n")
with open("small.csv", "w", encoding="utf-8") as f:
    f.write("1,旧,2.5\n")
for name in ("big", "small"):
    book = openpyxl.Workbook()
    for row in csv.reader(open(f"{name}.csv", encoding="utf-8")):
        book.active.append([int(row[0]), row[1], float(row[2])])
    book.save(f"{name}.xlsx")
