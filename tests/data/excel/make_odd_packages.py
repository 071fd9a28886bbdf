# Makes workbooks with the oddities spreadsheet programs accept or that readers must survive,
# written as raw zip packages (no spreadsheet library writes them this way):
#   /usr/bin/python3 make_odd_packages.py [NAME.xlsx...]   (all of them, or those named)
import random
import sys
import warnings
import zipfile

CT = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/'
      'package/2006/content-types"><Default Extension="rels" ContentType="application/'
      'vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType='
      '"application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/'
      'vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName='
      '"/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.'
      'spreadsheetml.worksheet+xml"/></Types>')
RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.'
        'openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://'
        'schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target='
        '"xl/workbook.xml"/></Relationships>')
WB = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/'
      'spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/'
      'relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
WBRELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.'
          'openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://'
          'schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target='
          '"worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.'
          'org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
          '</Relationships>')


def sheet(rows):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.'
            'openxmlformats.org/spreadsheetml/2006/main"><sheetData>' + rows +
            '</sheetData></worksheet>')


def sst(strings):
    return ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/'
            'spreadsheetml/2006/main">' + ''.join('<si><t>%s</t></si>' % s for s in strings) +
            '</sst>')


def package(name, parts):
    if len(sys.argv) > 1 and name not in sys.argv[1:]:
        return
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # duplicate names are the point of one of them
        with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as z:
            for part, text in parts:
                z.writestr(part, text)


def common(strings):
    return [("[Content_Types].xml", CT), ("_rels/.rels", RELS), ("xl/workbook.xml", WB),
            ("xl/_rels/workbook.xml.rels", WBRELS), ("xl/sharedStrings.xml", sst(strings))]


# An empty shared-string cell (<v/>) is empty, not string 0.
package("odd_empty_v.xlsx", common(["名称"]) + [("xl/worksheets/sheet1.xml", sheet(
    '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>0</v></c></row>'
    '<row r="2"><c r="A2" t="s"><v/></c><c r="B2"><v>5</v></c></row>'))])
# A value in column 300: more columns than a table can have.
package("odd_wide.xlsx", common(["x"]) + [("xl/worksheets/sheet1.xml", sheet(
    '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="KN1"><v>1</v></c></row>'))])
# Two entries of one name: the first is the sheet, as LibreOffice takes it.
package("odd_duplicate.xlsx", common(["first", "second"]) + [
    ("xl/worksheets/sheet1.xml", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
    ("xl/worksheets/sheet1.xml", sheet('<row r="1"><c r="A1" t="s"><v>1</v></c></row>'))])
# One long shared string used by a thousand cells: 600 MB of text once expanded.
if len(sys.argv) == 1 or "odd_expanded.xlsx" in sys.argv:
    rnd = random.Random(3)
    long_text = "".join(chr(0x4E00 + rnd.randrange(0x5000)) for _ in range(200000))
    cells = "".join('<row r="%d"><c r="A%d" t="s"><v>0</v></c></row>' % (r, r)
                    for r in range(1, 1001))
    package("odd_expanded.xlsx", common([long_text]) + [("xl/worksheets/sheet1.xml", sheet(cells))])

# Damaged relationships of the workbook part. Two sheets, the second in sheet2.xml, with shared
# strings, so that a reader that finds the parts some other way must find all of them.
WB2 = WB.replace('</sheets>', '<sheet name="Sheet2" sheetId="2" r:id="rId3"/></sheets>')
WBRELS2 = WBRELS.replace('</Relationships>', '<Relationship Id="rId3" Type="http://schemas.'
                         'openxmlformats.org/officeDocument/2006/relationships/worksheet" '
                         'Target="worksheets/sheet2.xml"/></Relationships>')
TWO_SHEETS = [("xl/worksheets/sheet1.xml", sheet(
                  '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>1</v></c></row>')),
              ("xl/worksheets/sheet2.xml", sheet(
                  '<row r="1"><c r="A1" t="s"><v>1</v></c><c r="B1"><v>2</v></c></row>'))]


def damaged(wbrels):
    parts = [("[Content_Types].xml", CT), ("_rels/.rels", RELS), ("xl/workbook.xml", WB2)]
    if wbrels is not None:
        parts.append(("xl/_rels/workbook.xml.rels", wbrels))
    return parts + [("xl/sharedStrings.xml", sst(["甲", "乙"]))] + TWO_SHEETS


# No relationships of the workbook part at all.
package("rels_missing.xlsx", damaged(None))
# Relationships cut off in the middle of a tag.
package("rels_badxml.xlsx", damaged(WBRELS2[:200]))
# The second sheet's relationship names a part the package does not hold.
package("rels_wrong_target.xlsx", damaged(WBRELS2.replace("worksheets/sheet2.xml",
                                                          "worksheets/sheet9.xml")))
# No relationships, and a chart sheet before the worksheet: worksheets/sheet1.xml is the second
# sheet's, so the position does not lead to the parts.
package("rels_missing_chart.xlsx", [
    ("[Content_Types].xml", CT), ("_rels/.rels", RELS),
    ("xl/workbook.xml", WB2.replace('name="Sheet1"', 'name="Chart1"')),
    ("xl/chartsheets/sheet1.xml", '<chartsheet xmlns="http://schemas.openxmlformats.org/'
                                  'spreadsheetml/2006/main"/>'),
    ("xl/sharedStrings.xml", sst(["甲", "乙"]))] + TWO_SHEETS[:1])
# Targets as some writers give them: other case, "\\", an absolute name, an escape.
package("rels_spelling.xlsx", damaged(
    WBRELS2.replace('"worksheets/sheet1.xml"', '"/XL/Worksheets/Sheet1.xml"')
    .replace('"worksheets/sheet2.xml"', '"worksheets\\sheet%32.xml"')
    .replace('"sharedStrings.xml"', '"SharedStrings.XML"')))
