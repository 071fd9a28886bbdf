# Makes openpyxl_iso_dates.xlsx, whose dates and times are cells of type "d" (ISO 8601 text, as
# openpyxl writes them with iso_dates), and openpyxl_number_dates.xlsx, the same values as date
# serials with a date format: /usr/bin/python3 make_iso_dates.py
import datetime
import openpyxl

values = [
    datetime.datetime(2021, 3, 15),
    datetime.datetime(1999, 12, 31, 10, 20, 30),
    datetime.datetime(1900, 3, 1),
    datetime.datetime(2024, 2, 29, 23, 59, 59),
    datetime.date(1987, 6, 5),
    datetime.time(10, 20, 30),
]
for name, iso in (("openpyxl_iso_dates.xlsx", True), ("openpyxl_number_dates.xlsx", False)):
    wb = openpyxl.Workbook(iso_dates=iso)
    ws = wb.active
    ws.title = "日期"
    ws.append(["序号", "日期"])
    for n, v in enumerate(values, start=1):
        ws.append([n, v])
    wb.save(name)
