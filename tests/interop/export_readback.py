#!/usr/bin/python3
"""Exports a workbook written by openpyxl to all six formats with the CLI and
reads every file back with the program it is for: Python's csv module and
html.parser, python-docx, LibreOffice (XML Spreadsheet and DOCX), qpdf and
pdftotext. Every cell text must arrive."""
import csv
import html.parser
import os
import shutil
import subprocess
import sys

import docx
import openpyxl

cli = os.environ["KVGRIDFOLD"]
work = os.environ.get("KV_WORK_DIR", "/tmp/kv_export_readback")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)

book = os.path.join(work, "book.xlsx")
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Main"
rows = [["Name", "Amount", "Note"], ["alpha", 12.5, "a, b"], ["beta", 7, 'say "hi"'],
        ["gamma <x>", 0.1, "caf\u00e9 & tea"]]
for r in rows:
    ws.append(r)
ws2 = wb.create_sheet("Second")
ws2.append(["only", "row"])
wb.save(book)
expected = [[str(c) for c in r] for r in rows]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def export(fmt, out, *extra):
    subprocess.run([cli, "export", book, out, "--format", fmt, *extra], check=True)


def soffice(src, fmt):
    outdir = os.path.join(work, "lo_" + fmt.split(":")[0])
    os.makedirs(outdir, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(work, "lohome"))
    subprocess.run(["soffice", "--headless", "--convert-to", fmt, "--outdir", outdir, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                   timeout=240)
    base = os.path.splitext(os.path.basename(src))[0]
    ext = fmt.split(":")[0]
    return open(os.path.join(outdir, base + "." + ext), encoding="utf-8", errors="replace").read()


# CSV and tab text: same cells through the csv module.
export("CSV", os.path.join(work, "main.csv"))
with open(os.path.join(work, "main.csv"), newline="", encoding="utf-8-sig") as f:
    got = list(csv.reader(f))
check(got == expected, "CSV cells %r" % got)
export("Text", os.path.join(work, "main.txt"))
with open(os.path.join(work, "main.txt"), newline="", encoding="utf-8-sig") as f:
    got = list(csv.reader(f, delimiter="\t"))
check([r[:3] for r in got] == expected, "Text cells %r" % got)


# HTML: every cell text in a td or th.
class Cells(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.cells, self.inside = [], False

    def handle_starttag(self, tag, attrs):
        if tag in ("td", "th"):
            self.inside = True
            self.cells.append("")

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.inside = False

    def handle_data(self, data):
        if self.inside:
            self.cells[-1] += data


export("HTML", os.path.join(work, "book.html"), "--all")
p = Cells()
p.feed(open(os.path.join(work, "book.html"), encoding="utf-8").read())
for r in expected:
    for c in r:
        check(c in p.cells, "HTML lacks cell %r" % c)
check("only" in p.cells, "HTML lacks the second sheet")

# XML Spreadsheet through LibreOffice.
export("XMLSpreadsheet", os.path.join(work, "book.xml"))
got = list(csv.reader(soffice(os.path.join(work, "book.xml"), "csv:Text - txt - csv (StarCalc):44,34,76").splitlines()))
check(got[:4] == expected, "XML Spreadsheet via LibreOffice %r" % got)

# DOCX through python-docx and LibreOffice.
export("Word", os.path.join(work, "book.docx"), "--all")
d = docx.Document(os.path.join(work, "book.docx"))
check(len(d.tables) == 2, "DOCX has %d tables" % len(d.tables))
got = [[c.text for c in row.cells] for row in d.tables[0].rows]
check(got == expected, "DOCX cells %r" % got)
text = soffice(os.path.join(work, "book.docx"), "txt:Text")
for r in expected:
    for c in r:
        check(c in text, "DOCX via LibreOffice lacks %r" % c)

# PDF: qpdf finds it sound, pdftotext shows titles and cells.
export("PDF", os.path.join(work, "book.pdf"), "--all")
q = subprocess.run(["qpdf", "--check", os.path.join(work, "book.pdf")], capture_output=True, text=True)
check(q.returncode == 0, "qpdf --check: " + q.stdout + q.stderr)
t = subprocess.run(["pdftotext", "-layout", os.path.join(work, "book.pdf"), "-"],
                   capture_output=True, text=True).stdout
for word in ["Main", "Second", "alpha", "12.5", "caf\u00e9 & tea", 'say "hi"', "gamma <x>", "only"]:
    check(word in t, "PDF text lacks %r" % word)

# A sheet of 18 columns and 50 rows splits into four pages; each shows its own block.
big = os.path.join(work, "big.xlsx")
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Grid"
for r in range(1, 51):
    ws.append(["r%dc%d" % (r, c) for c in range(1, 19)])
wb.save(big)
pdf = os.path.join(work, "big.pdf")
subprocess.run([cli, "export", big, pdf, "--format", "pdf"], check=True)
q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
check(q.returncode == 0, "qpdf --check on the split sheet: " + q.stdout + q.stderr)
pages = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True,
                       text=True).stdout.split("\f")[:4]
blocks = [("A-Q", 1, 44, range(1, 18)), ("A-Q", 45, 50, range(1, 18)),
          ("R-R", 1, 44, [18]), ("R-R", 45, 50, [18])]
for page, (cols, first, last, colnums) in zip(pages, blocks):
    check("Grid (columns %s) [rows %d-%d]" % (cols, first, last) in page, "page title %r" % page[:80])
    cells = set(page.split())
    for r in range(first, last + 1):
        for c in colnums:
            check("r%dc%d" % (r, c) in cells, "page %s/%d lacks r%dc%d" % (cols, first, r, c))
    check(("r%dc1" % (last + 1)) not in cells, "page %s/%d runs past its rows" % (cols, first))

# Texts the formats used to break: characters XML cannot hold, a Latin-1 byte
# where UTF-8 belongs, line breaks, number-like texts, names that clean to the
# same file name, and a sheet wider than a Word table may be.
import re
import xml.dom.minidom
import zipfile

odd = os.path.join(work, "odd.xlsx")
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'a"b'
ws.append(["FORBIDDEN", "LATIN", "two\nlines", "cr\r\nlf", "00012", "1234567890123456", "12.5"])
wb.create_sheet("a_b").append(["second"])
wide = wb.create_sheet("Wide")
for r in range(1, 4):
    wide.append(["r%dc%d" % (r, c) for c in range(1, 201)])
narrow = wb.create_sheet("Narrow")
narrow.append(["12345678901"] * 17)
wb.save(odd)
# Put the raw forms into the stored shared strings, as other writers may.
with zipfile.ZipFile(odd) as z:
    parts = {n: z.read(n) for n in z.namelist()}
sheet = parts["xl/worksheets/sheet1.xml"]
sheet = sheet.replace(b"FORBIDDEN", b"x_xFFFF_y_xFFFE_z").replace(b"LATIN", b"caf\xe9 cr\xe8me")
parts["xl/worksheets/sheet1.xml"] = sheet
with zipfile.ZipFile(odd, "w", zipfile.ZIP_DEFLATED) as z:
    for n, data in parts.items():
        z.writestr(n, data)
oddcells = ["x?y?z", "caf\ufffd cr\ufffdme", "two\nlines", "cr\nlf", "00012", "1234567890123456",
            "12.5"]


def export_odd(fmt, name, *extra):
    out = os.path.join(work, name)
    subprocess.run([cli, "export", odd, out, "--format", fmt, *extra], check=True)
    return out


# XML Spreadsheet: well formed for xmllint and minidom, texts kept, 00012 a text in LibreOffice;
# every cell here is a text cell (openpyxl stores "12.5" as a string), so every one is a String.
xmlout = export_odd("XMLSpreadsheet", "odd.xml")
lint = subprocess.run(["xmllint", "--noout", xmlout], capture_output=True, text=True)
check(lint.returncode == 0, "xmllint on XML Spreadsheet: " + lint.stderr)
dom = xml.dom.minidom.parse(xmlout)
datas = [(d.getAttribute("ss:Type"), "".join(n.data for n in d.childNodes))
         for d in dom.getElementsByTagName("Data")]
check([t for _, t in datas] == oddcells, "XML Spreadsheet texts %r" % datas)
check([k for k, _ in datas][4:] == ["String", "String", "String"], "XML Spreadsheet types %r" % datas)
lo = list(csv.reader(soffice(xmlout, "csv:Text - txt - csv (StarCalc):44,34,76").splitlines()))
check(lo and lo[0][4:6] == ["00012", "1234567890123456"], "LibreOffice reads %r" % lo)
check(lo and lo[0][0] == "x?y?z" and lo[0][1] == oddcells[1], "LibreOffice reads %r" % lo)

# Word: python-docx and LibreOffice open it; line breaks are breaks; 200 columns in bands.
docout = export_odd("Word", "odd.docx", "--all")
with zipfile.ZipFile(docout) as z:
    lint = subprocess.run(["xmllint", "--noout", "-"], input=z.read("word/document.xml"),
                          capture_output=True)
check(lint.returncode == 0, "xmllint on word/document.xml: %r" % lint.stderr)
d = docx.Document(docout)
got = [c.text for c in d.tables[0].rows[0].cells]
check(got == oddcells, "DOCX cells %r" % got)
bands = d.tables[2:14]
check([len(t.columns) for t in bands] == [17] * 11 + [13],
      "DOCX bands %r" % [len(t.columns) for t in bands])
heads = [p.text for p in d.paragraphs if p.text.startswith("Wide")]
check(len(heads) == 12 and heads[:2] == ["Wide (columns A-Q)", "Wide (columns R-AH)"] and
      heads[-1] == "Wide (columns GF-GR)", "DOCX band headings %r" % heads)
cells = [c.text for t in bands for row in t.rows[:1] for c in row.cells]
check(cells == ["r1c%d" % c for c in range(1, 201)], "DOCX wide row %r" % cells[:5])
text = soffice(docout, "txt:Text")
for c in ["caf\ufffd cr\ufffdme", "r3c1", "r3c63", "r3c64", "r3c200", "Wide (columns GF-GR)"]:
    check(c in text, "DOCX via LibreOffice lacks %r" % c)

# HTML: valid UTF-8, a line break a <br>.
htmlout = export_odd("HTML", "odd.html")
raw = open(htmlout, "rb").read()
try:
    raw.decode("utf-8")
except UnicodeDecodeError as e:
    check(False, "HTML is not UTF-8: %s" % e)


class Lines(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.cells = []

    def handle_starttag(self, tag, attrs):
        if tag == "td":
            self.cells.append([""])
        elif tag == "br":
            self.cells[-1].append("")

    def handle_data(self, data):
        if self.cells and data.strip("\r\n"):
            self.cells[-1][-1] += data


lp = Lines()
lp.feed(raw.decode("utf-8"))
check(lp.cells[2:4] == [["two", "lines"], ["cr", "lf"]], "HTML lines %r" % lp.cells[2:4])

# CSV: valid UTF-8; the two sheets whose names clean alike get their own files.
export_odd("CSV", "clash.csv", "--all")
for name, first in [("clash_a_b.csv", "x\uffffy\ufffez"), ("clash_a_b_2.csv", "second")]:
    path = os.path.join(work, name)
    check(os.path.exists(path), "CSV file %s missing" % name)
    if os.path.exists(path):
        with open(path, newline="", encoding="utf-8-sig", errors="strict") as f:
            rows = list(csv.reader(f))
        check(rows[0][0] == first, "%s: %r" % (name, rows[0][:2]))

# PDF: the lines of a cell stay apart as words; digits stay inside their column.
pdfout = export_odd("PDF", "odd.pdf")
t = subprocess.run(["pdftotext", "-raw", pdfout, "-"], capture_output=True, text=True).stdout
check("two lines" in t and "cr lf" in t, "PDF lines %r" % t[:300])
check("twolines" not in t and "crlf" not in t, "PDF run-together lines %r" % t[:300])
# Eleven digits in a 43-point column of 17 are cut, end in an ellipsis and stay left of the
# column's right rule.
pdfout = export_odd("PDF", "narrow.pdf", "--sheet", "Narrow")
box = subprocess.run(["pdftotext", "-bbox", pdfout, "-"], capture_output=True, text=True).stdout
words = re.findall(r'xMin="([\d.]+)"[^>]*xMax="([\d.]+)"[^>]*>(\d{5,}\u2026)</word>', box)
check(len(words) == 17, "PDF narrow cells %r" % words)
for k, (x0, x1, w) in enumerate(words):
    check(float(x1) <= 30 + (k + 1) * 732 / 17, "PDF cell %d (%s) ends at %s" % (k, w, x1))

print("%d passed, %d failed" % (1 if not failures else 0, len(failures)))
sys.exit(1 if failures else 0)
