# Makes the Excel fixtures with openpyxl and xlwt (run with Debian's /usr/bin/python3), then
# LibreOffice converts the openpyxl workbook:
#   /usr/bin/python3 make_fixtures.py
#   soffice --headless --convert-to xls --outdir lo openpyxl_客户.xlsx
#   soffice --headless --convert-to xlsx --outdir lo openpyxl_客户.xlsx
import datetime
import openpyxl
import xlwt
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.workbook.defined_name import DefinedName

header = ["姓名", "金额", "日期", "是否", "混合", None, "长文本", "金额"]
rows = [
    ["张三", 12.5, datetime.datetime(2021, 3, 15), True, "文本", None, "短", 1],
    ["李四", -3, datetime.datetime(1999, 12, 31, 10, 20, 30), False, 42, None, "长" * 300, 2],
    [None, None, None, None, datetime.datetime(2020, 1, 2), None, None, 3],
    ["王五", 1000000, datetime.datetime(1900, 3, 1), True, 2.5, None, "", 4],
]

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "客户"
ws.append(header)
for r in rows:
    ws.append(r)
second = wb.create_sheet("第二页")
second.append([1, "a"])
second.append([2, "b"])
wb.create_sheet("空表")
wb.defined_names.append(DefinedName("区域", attr_text="客户!$A$1:$B$3"))
wb.save("openpyxl_客户.xlsx")

mac = openpyxl.Workbook()
mac.epoch = CALENDAR_MAC_1904
mac.active.title = "Sheet1"
mac.active.append(["日期"])
mac.active.append([datetime.datetime(2021, 3, 15)])
mac.save("openpyxl_1904.xlsx")

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("客户")
date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
for c, v in enumerate(header):
    if v is not None:
        sheet.write(0, c, v)
for r, row in enumerate(rows, start=1):
    for c, v in enumerate(row):
        if v is None:
            continue
        if isinstance(v, datetime.datetime):
            sheet.write(r, c, v, date_style)
        else:
            sheet.write(r, c, v)
book.add_sheet("第二页").write(0, 0, 1)
book.save("xlwt_客户.xls")

# Rows wider than the header, empty rows between and after the data.
wide = openpyxl.Workbook()
ws = wide.active
ws.title = "变宽"
ws.append(["a"])
ws.append([1])
ws.append([])
ws.append([2, "x", None, 4])
ws.cell(row=8, column=2).value = ""
wide.save("openpyxl_wide.xlsx")

# A header with a character that column names written into statements must not hold.
symbols = openpyxl.Workbook()
symbols.active.title = "价格"
symbols.active.append(["名称", "单价(元)"])
symbols.active.append(["笔", 2.5])
symbols.save("openpyxl_symbols.xlsx")

# Two small tables for the two-table operations, in both workbook formats.
pair = [("表一", [["编号", "名称"], [1, "甲"], [2, "乙"], [3, "丙"], [3, "丙"]]),
        ("表二", [["编号", "说明"], [2, "二"], [3, "三"], [4, "四"], [None, "空"]])]
two = openpyxl.Workbook()
two.remove(two.active)
for title, data in pair:
    ws = two.create_sheet(title)
    for r in data:
        ws.append(r)
two.save("openpyxl_two.xlsx")
book = xlwt.Workbook(encoding="utf-8")
for title, data in pair:
    ws = book.add_sheet(title)
    for r, row in enumerate(data):
        for c, v in enumerate(row):
            if v is not None:
                ws.write(r, c, v)
book.save("xlwt_two.xls")
