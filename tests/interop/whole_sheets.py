#!/usr/bin/python3
"""Whole sheets through the CLI, read back by programs nobody here wrote: a
100,000-row sheet's CSV (Python's csv module) and XML Spreadsheet
(LibreOffice) hold every row; a 300-column sheet keeps every column in all
six formats; a sheet holding A1 and XFD1048576 reports its true size in a few
MiB, and a far cell is set and read back by openpyxl."""
import csv
import html.parser
import os
import shutil
import subprocess
import sys
import zipfile

import docx
import openpyxl

cli = os.environ["KVGRIDFOLD"]
work = os.environ.get("KV_WORK_DIR", "/tmp/kv_whole_sheets")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
NS = "http://schemas.openxmlformats.org"


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def col(c):
    s = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def make_book(path, name, rows):
    """A package whose one sheet holds rows (iterable of row XML) written as a stream."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("[Content_Types].xml",
                   '<Types xmlns="%s/package/2006/content-types"><Override '
                   'PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-'
                   'officedocument.spreadsheetml.sheet.main+xml"/><Override '
                   'PartName="/xl/worksheets/sheet1.xml" ContentType="application/'
                   'vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>' % NS)
        z.writestr("_rels/.rels",
                   '<Relationships xmlns="%s/package/2006/relationships"><Relationship Id="rId1" '
                   'Type="%s/officeDocument/2006/relationships/officeDocument" '
                   'Target="xl/workbook.xml"/></Relationships>' % (NS, NS))
        z.writestr("xl/workbook.xml",
                   '<workbook xmlns="%s/spreadsheetml/2006/main" xmlns:r="%s/officeDocument/2006/'
                   'relationships"><sheets><sheet name="%s" sheetId="1" r:id="rId1"/></sheets>'
                   '</workbook>' % (NS, NS, name))
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<Relationships xmlns="%s/package/2006/relationships"><Relationship Id="rId1" '
                   'Type="%s/officeDocument/2006/relationships/worksheet" '
                   'Target="worksheets/sheet1.xml"/></Relationships>' % (NS, NS))
        with z.open("xl/worksheets/sheet1.xml", "w") as f:
            f.write(('<worksheet xmlns="%s/spreadsheetml/2006/main"><sheetData>' % NS).encode())
            for r in rows:
                f.write(r.encode())
            f.write(b"</sheetData></worksheet>")


def run(*args, **kw):
    return subprocess.run([cli, *args], check=True, capture_output=True, text=True, **kw).stdout


def soffice_csv(src):
    outdir = os.path.join(work, "lo")
    os.makedirs(outdir, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(work, "lohome"))
    subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(work, "loprofile"),
                    "--headless", "--convert-to", "csv", "--outdir", outdir, src], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=540)
    base = os.path.splitext(os.path.basename(src))[0]
    with open(os.path.join(outdir, base + ".csv"), newline="", encoding="utf-8",
              errors="replace") as f:
        return list(csv.reader(f))


# ---- 100,000 rows ---------------------------------------------------------------
TALL = 100000
tall = os.path.join(work, "tall.xlsx")
make_book(tall, "Tall", ('<row r="%d"><c r="A%d" t="inlineStr"><is><t>row %d</t></is></c>'
                         '<c r="B%d"><v>%d.5</v></c></row>' % (r, r, r, r, r)
                         for r in range(1, TALL + 1)))
check(run("info", tall).split() == ["1", "Tall", str(TALL), "2"], "info of the tall sheet")
tall_csv = os.path.join(work, "tall.csv")
run("export", tall, tall_csv, "--format", "CSV")
with open(tall_csv, newline="", encoding="utf-8-sig") as f:
    got = list(csv.reader(f))
check(len(got) == TALL, "CSV rows: %d" % len(got))
check(got[-1] == ["row %d" % TALL, "%d.5" % TALL], "CSV last row %r" % got[-1:])
tall_xml = os.path.join(work, "tall.xml")
run("export", tall, tall_xml, "--format", "XMLSpreadsheet")
lo = soffice_csv(tall_xml)
check(len(lo) == TALL, "LibreOffice reads %d rows of our XML Spreadsheet" % len(lo))
check(lo and lo[-1][0] == "row %d" % TALL, "LibreOffice's last row %r" % lo[-1:])
# Shown texts: every row too.
shown_csv = os.path.join(work, "shown.csv")
run("export", tall, shown_csv, "--format", "CSV", "--shown")
with open(shown_csv, newline="", encoding="utf-8-sig") as f:
    check(sum(1 for _ in csv.reader(f)) == TALL, "CSV --shown rows")

# ---- 300 columns, every format ----------------------------------------------------
WIDE = 300
wide = os.path.join(work, "wide.xlsx")
make_book(wide, "Wide", ('<row r="%d">%s</row>' % (r, "".join(
    '<c r="%s%d" t="inlineStr"><is><t>r%dc%d</t></is></c>' % (col(c), r, r, c + 1)
    for c in range(WIDE))) for r in range(1, 4)))
want = ["r%dc%d" % (r, c) for r in range(1, 4) for c in range(1, WIDE + 1)]


def every_cell(texts, fmt):
    missing = [w for w in want if w not in texts]
    check(not missing, "%s loses %d cells, e.g. %r" % (fmt, len(missing), missing[:3]))


for fmt, ext in [("CSV", "csv"), ("Text", "txt")]:
    out = os.path.join(work, "wide." + ext)
    run("export", wide, out, "--format", fmt)
    with open(out, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f, delimiter="," if fmt == "CSV" else "\t"))
    check(all(len(r) == WIDE for r in rows), "%s row widths %r" % (fmt, [len(r) for r in rows]))
    every_cell(set(c for r in rows for c in r), fmt)


class Texts(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.texts = set()

    def handle_data(self, data):
        self.texts.add(data.strip())


out = os.path.join(work, "wide.html")
run("export", wide, out, "--format", "HTML")
p = Texts()
p.feed(open(out, encoding="utf-8").read())
every_cell(p.texts, "HTML")
out = os.path.join(work, "wide.xml")
run("export", wide, out, "--format", "XMLSpreadsheet")
every_cell(set(c for r in soffice_csv(out) for c in r), "XML Spreadsheet (LibreOffice)")
out = os.path.join(work, "wide.docx")
run("export", wide, out, "--format", "Word")
every_cell(set(c.text for t in docx.Document(out).tables for r in t.rows for c in r.cells),
           "Word (python-docx)")
out = os.path.join(work, "wide.pdf")
run("export", wide, out, "--format", "PDF")
text = subprocess.run(["pdftotext", "-layout", out, "-"], check=True, capture_output=True,
                      text=True).stdout
every_cell(set(text.split()), "PDF (pdftotext)")

# ---- A1 and XFD1048576 -----------------------------------------------------------
far = os.path.join(work, "far.xlsx")
make_book(far, "Far", ['<row r="1"><c r="A1"><v>1</v></c></row>',
                       '<row r="1048576"><c r="XFD1048576"><v>2</v></c></row>'])
# GNU time measures the CLI alone (a child forked from this big process
# would count its memory too).
timed = subprocess.run(["/usr/bin/time", "-f", "%M", cli, "info", far], check=True,
                       capture_output=True, text=True)
info = timed.stdout
peak_kib = int(timed.stderr.split()[-1])
check(info.split() == ["1", "Far", "1048576", "16384"], "info of A1 + XFD1048576: %r" % info)
check(peak_kib < 16 * 1024, "info's peak RSS %d KiB" % peak_kib)
far_set = os.path.join(work, "far-set.xlsx")
run("set", far, "-o", far_set, "Far!XFD1048575=near the end")
ws = openpyxl.load_workbook(far_set, read_only=True)["Far"]
got = {c.coordinate: c.value for row in ws.iter_rows(min_row=1048575, min_col=16384)
       for c in row if c.value is not None}
check(got == {"XFD1048575": "near the end", "XFD1048576": 2}, "openpyxl reads %r" % got)

if failures:
    print("%d failure(s)" % len(failures))
    sys.exit(1)
print("whole sheets: all checks passed")
