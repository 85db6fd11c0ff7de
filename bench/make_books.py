#!/usr/bin/python3
# Writes the benchmark workbooks into OUTDIR (default /tmp/kv-bench-books)
# with xlsxwriter, so every tool in the comparison reads the same files:
#   grid     one sheet of 2000 x 200, numbers and shared strings mixed
#   tall     100,000 x 10, most of it beyond the viewer's 2000-row cap
#   multi    twelve sheets of 500 x 30
#   strings  2000 x 50 unique long strings
#   tiny     two cells
#   long     800,000 x 10 numbers (the 32-bit budget run's sheet), written
#            with zipfile: xlsxwriter would take minutes
#   formats  the grid's cells under number formats (#,##0.00, 0.00%, dates, [Red] sections)
# Existing books are kept. Run with /usr/bin/python3.
import os, random, sys, zipfile

out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/kv-bench-books"
os.makedirs(out, exist_ok=True)
rng = random.Random(42)


def book(name, fill):
    path = os.path.join(out, name + ".xlsx")
    if os.path.exists(path):
        return
    try:
        import xlsxwriter
    except ImportError:
        print("make_books: no xlsxwriter (scripts/setup --bench), %s.xlsx not made" % name)
        return
    wb = xlsxwriter.Workbook(path + ".tmp", {"strings_to_numbers": False})
    fill(wb)
    wb.close()
    os.replace(path + ".tmp", path)


def mixed(ws, rows, cols):
    for r in range(rows):
        for c in range(cols):
            if c % 4 == 0:
                ws.write_string(r, c, "item %d" % rng.randrange(100000))
            else:
                ws.write_number(r, c, rng.randrange(1000000) / 100)


book("grid", lambda wb: mixed(wb.add_worksheet("Grid"), 2000, 200))


def formatted(wb):
    ws = wb.add_worksheet("Formats")
    codes = [None, "#,##0.00", "0.00%", "yyyy-mm-dd hh:mm", "#,##0.0;[Red]-#,##0.0"]
    styles = [wb.add_format({"num_format": c}) if c else None for c in codes]
    for r in range(2000):
        for c in range(200):
            if c % 4 == 0:
                ws.write_string(r, c, "item %d" % rng.randrange(100000))
            elif c % 5 == 3:
                ws.write_number(r, c, 40000 + rng.randrange(10000) / 7, styles[3])
            else:
                ws.write_number(r, c, (rng.randrange(2000000) - 1000000) / 100, styles[c % 5])


book("formats", formatted)
book("tall", lambda wb: mixed(wb.add_worksheet("Tall"), 100000, 10))
book("multi", lambda wb: [mixed(wb.add_worksheet("S%d" % (i + 1)), 500, 30) for i in range(12)])


def strings(wb):
    ws = wb.add_worksheet("Strings")
    for r in range(2000):
        for c in range(50):
            ws.write_string(r, c, "r%dc%d %s" % (r, c, "".join(
                rng.choice("abcdefghij klmnopqrstuvwxyz") for _ in range(60))))


book("strings", strings)


def tiny(wb):
    ws = wb.add_worksheet("Tiny")
    ws.write_string(0, 0, "hello")
    ws.write_number(0, 1, 1)


book("tiny", tiny)


def long_book():
    path = os.path.join(out, "long.xlsx")
    if os.path.exists(path):
        return
    ns = "http://schemas.openxmlformats.org"
    with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("[Content_Types].xml", '<Types xmlns="%s/package/2006/content-types"/>' % ns)
        z.writestr("xl/workbook.xml",
                   '<workbook xmlns="%s/spreadsheetml/2006/main" xmlns:r="%s/officeDocument/2006/'
                   'relationships"><sheets><sheet name="Long" sheetId="1" r:id="rId1"/></sheets>'
                   '</workbook>' % (ns, ns))
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<Relationships xmlns="%s/package/2006/relationships"><Relationship Id="rId1" '
                   'Type="%s/officeDocument/2006/relationships/worksheet" '
                   'Target="worksheets/sheet1.xml"/></Relationships>' % (ns, ns))
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as f:
            f.write(('<worksheet xmlns="%s/spreadsheetml/2006/main"><sheetData>' % ns).encode())
            cols = "ABCDEFGHIJ"
            for start in range(1, 800001, 2000):
                f.write("".join('<row r="%d">%s</row>' % (r, "".join(
                    '<c r="%s%d"><v>%d</v></c>' % (cols[c], r, (r * 7 + c) % 100000)
                    for c in range(10))) for r in range(start, start + 2000)).encode())
            f.write(b"</sheetData></worksheet>")
    os.replace(path + ".tmp", path)


long_book()
