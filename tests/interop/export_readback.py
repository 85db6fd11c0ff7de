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

print("%d passed, %d failed" % (1 if not failures else 0, len(failures)))
sys.exit(1 if failures else 0)
