#!/usr/bin/env python3
# Writes the books of the 32-bit budget run into OUTDIR, with the standard
# library only (zipfile), in a few seconds:
#   tall.xlsx   100,000 x 10, numbers and shared strings mixed (the bench book)
#   limit.xlsx  one sheet whose XML inflates to about 251 MiB, near the
#               loader's 256 MiB cap for one entry
#   chain.xlsx  1,000,000 running totals: A holds 1s, B1 =A1 and B2:B1000000
#               one shared formula =B1+A2 (each cell needs the one before),
#               with their cached values
# Existing books are kept.
import os, random, sys, zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
    '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
    '</Types>')
ROOT_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
    '</Relationships>')
WB_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
    '</Relationships>')
SHEET_HEAD = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>')
SHEET_TAIL = '</sheetData></worksheet>'


def workbook(sheet):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
            'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
            '<sheets><sheet name="%s" sheetId="1" r:id="rId1"/></sheets></workbook>' % sheet)


def book(name, sheet, strings, rows):
    path = os.path.join(out, name)
    if os.path.exists(path):
        return
    with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("xl/workbook.xml", workbook(sheet))
        z.writestr("xl/_rels/workbook.xml.rels", WB_RELS)
        sst = "".join("<si><t>%s</t></si>" % s for s in strings)
        z.writestr("xl/sharedStrings.xml",
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                   '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                   'count="%d" uniqueCount="%d">%s</sst>' % (len(strings), len(strings), sst))
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as f:
            f.write(SHEET_HEAD.encode())
            block = []
            for r in rows:
                block.append(r)
                if len(block) == 2000:
                    f.write("".join(block).encode())
                    block = []
            f.write("".join(block).encode())
            f.write(SHEET_TAIL.encode())
    os.replace(path + ".tmp", path)


COLS = "ABCDEFGHIJ"
rng = random.Random(42)
items = ["item %d" % i for i in range(1000)]


def tall_rows():
    for r in range(1, 100001):
        cells = []
        for c in range(10):
            if c % 4 == 0:
                cells.append('<c r="%s%d" t="s"><v>%d</v></c>' % (COLS[c], r, rng.randrange(1000)))
            else:
                cells.append('<c r="%s%d"><v>%d.%02d</v></c>' % (COLS[c], r, rng.randrange(10000), r % 100))
        yield '<row r="%d">%s</row>' % (r, "".join(cells))


def limit_rows():
    # 10 cells of about 33 bytes per row: 800,000 rows make about 251 MiB.
    for r in range(1, 800001):
        yield '<row r="%d">%s</row>' % (r, "".join(
            '<c r="%s%d"><v>%d</v></c>' % (COLS[c], r, (r * 7 + c) % 100000) for c in range(10)))


def chain_rows():
    yield '<row r="1"><c r="A1"><v>1</v></c><c r="B1"><f>A1</f><v>1</v></c></row>'
    yield ('<row r="2"><c r="A2"><v>1</v></c><c r="B2"><f t="shared" ref="B2:B1000000" si="0">'
           'B1+A2</f><v>2</v></c></row>')
    for r in range(3, 1000001):
        yield '<row r="%d"><c r="A%d"><v>1</v></c><c r="B%d"><f t="shared" si="0"/><v>%d</v></c></row>' % (
            r, r, r, r)


book("tall.xlsx", "Tall", items, tall_rows())
book("limit.xlsx", "Limit", ["x"], limit_rows())
book("chain.xlsx", "Chain", ["x"], chain_rows())
