#!/usr/bin/python3
"""Exports the workbooks written by openpyxl, xlsxwriter and LibreOffice to all
six formats, all sheets, with the CLI, and compares what the consumers read
back with the cells openpyxl finds in the same workbook (cached values, dates
as year-month-day, hidden sheets left out)."""
import csv
import datetime
import html.parser
import os
import shutil
import subprocess
import sys

from _grids import trimmed

import docx
import openpyxl

cli = os.environ["KVGRIDFOLD"]
src = os.path.join(os.environ["KV_SOURCE_DIR"], "tests", "fixtures", "xlsx")
work = os.environ.get("KV_WORK_DIR", "/tmp/kv_export_fixtures")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def text_of(v):
    if v is None:
        return ""
    if isinstance(v, datetime.datetime):
        return v.strftime("%Y-%m-%d") if v.time() == datetime.time(0) else v.strftime("%Y-%m-%d %H:%M")
    if isinstance(v, float) and v.is_integer():
        return str(int(v))
    return str(v)


def expected_sheets(path):
    wb = openpyxl.load_workbook(path, data_only=True)
    out = []
    for ws in wb.worksheets:
        if ws.sheet_state != "visible":
            continue
        grid = [[text_of(c.value) for c in row] for row in ws.iter_rows(min_row=1, min_col=1)]
        out.append((ws.title, grid))
    return out


def same_cells(got, want):
    """Grids equal, ignoring rows and columns that are empty at the far edges."""
    return trimmed(got) == trimmed(want)


def soffice(path, fmt, tag):
    outdir = os.path.join(work, "lo_" + tag)
    os.makedirs(outdir, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(work, "lohome"))
    subprocess.run(["soffice", "--headless", "--convert-to", fmt, "--outdir", outdir, path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                   timeout=240)
    base = os.path.splitext(os.path.basename(path))[0]
    return open(os.path.join(outdir, base + "." + fmt.split(":")[0]), encoding="utf-8").read()


class Tables(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.headings, self.tables, self.cell = [], [], None
        self.in_h2 = False

    def handle_starttag(self, tag, attrs):
        if tag == "h2":
            self.in_h2 = True
            self.headings.append("")
        elif tag == "table":
            self.tables.append([])
        elif tag == "tr":
            self.tables[-1].append([])
        elif tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "h2":
            self.in_h2 = False
        elif tag == "td":
            self.tables[-1][-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.in_h2:
            self.headings[-1] += data
        elif self.cell is not None:
            self.cell += data


for fixture in ["edit-openpyxl.xlsx", "edit-xlsxwriter.xlsx", "edit-libreoffice.xlsx"]:
    book = os.path.join(src, fixture)
    tag = fixture[len("edit-"):-len(".xlsx")]
    want = expected_sheets(book)
    names = [n for n, _ in want]
    out = os.path.join(work, tag)
    os.makedirs(out)

    def export(fmt, name):
        path = os.path.join(out, name)
        subprocess.run([cli, "export", book, path, "--format", fmt, "--all"], check=True)
        return path

    for fmt, ext, delim in [("CSV", "csv", ","), ("Text", "txt", "\t")]:
        export(fmt, "book." + ext)
        made = sorted(f for f in os.listdir(out) if f.endswith("." + ext))
        check(made == sorted("book_%s.%s" % (n, ext) for n in names), "%s %s files %r" % (tag, fmt, made))
        for n, grid in want:
            with open(os.path.join(out, "book_%s.%s" % (n, ext)), newline="", encoding="utf-8-sig") as f:
                got = list(csv.reader(f, delimiter=delim))
            check(same_cells(got, grid), "%s %s sheet %s: %r" % (tag, fmt, n, got))

    t = Tables()
    t.feed(open(export("HTML", "book.html"), encoding="utf-8-sig").read())
    check(t.headings == names, "%s HTML headings %r" % (tag, t.headings))
    for (n, grid), table in zip(want, t.tables):
        check(same_cells(table, grid), "%s HTML sheet %s: %r" % (tag, n, table))

    xml = export("XMLSpreadsheet", "book.xml")
    got = list(csv.reader(soffice(xml, "csv:Text - txt - csv (StarCalc):44,34,76", tag).splitlines()))
    check(same_cells(got, want[0][1]), "%s XML Spreadsheet via LibreOffice: %r" % (tag, got))

    # Word: a sheet too wide for the page comes in bands of 17 columns, as in the PDF.
    d = docx.Document(export("Word", "book.docx"))
    headings = [p.text for p in d.paragraphs if p.text]
    check(headings == ["Sheet1 (columns A-Q)", "Sheet1 (columns R-AA)"] + names[1:],
          "%s DOCX headings %r" % (tag, headings))
    check(len(d.tables) == len(want) + 1, "%s DOCX has %d tables" % (tag, len(d.tables)))
    grids = [[[c.text for c in row.cells] for row in t.rows] for t in d.tables]
    grids = [[a + b for a, b in zip(grids[0], grids[1])]] + grids[2:]
    for (n, grid), got in zip(want, grids):
        check(same_cells(got, grid), "%s DOCX sheet %s: %r" % (tag, n, got))
    lo_text = soffice(os.path.join(out, "book.docx"), "txt:Text", tag)
    for n, grid in want:
        for row in grid:
            for c in row:
                check(c in lo_text, "%s DOCX via LibreOffice lacks %r" % (tag, c))

    pdf = export("PDF", "book.pdf")
    q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
    check(q.returncode == 0 and "No syntax or stream encoding errors" in q.stdout,
          "%s qpdf --check: %s%s" % (tag, q.stdout, q.stderr))
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
    pages = text.split("\f")
    check(len([p for p in pages if p.strip()]) == 3, "%s PDF pages: %d" % (tag, len(pages)))
    for title in ["Sheet1 (columns A-Q)", "Sheet1 (columns R-AA)", "Data"]:
        check(title in text, "%s PDF lacks title %r" % (tag, title))
    # A text wider than its column shows its start and an ellipsis: a date in
    # a 17-column block fits its 37 points in Liberation Sans (Helvetica's
    # widths), not in DejaVu Sans, the default where Liberation is missing.
    for n, grid in want:
        for row in grid:
            for c in row:
                check(c in text or any(c[:k] + "\u2026" in text for k in range(1, len(c))),
                      "%s PDF lacks %r" % (tag, c))

print("%d checks failed" % len(failures))
sys.exit(1 if failures else 0)
