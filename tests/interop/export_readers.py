#!/usr/bin/python3
"""Exports as their readers meet them: a workbook written by openpyxl, exported
with the CLI, read back by LibreOffice (XML Spreadsheet numbers and empties, the
Word file's column widths in its PDF), pdftotext's word boxes (no word past its
column's rule) and python-docx; hidden rows and columns are left out of the PDF
and Word and kept by the data exports."""
import csv
import os
import re
import shutil
import subprocess
import sys

import docx
import openpyxl

cli = os.environ["KVGRIDFOLD"]
work = os.environ.get("KV_WORK_DIR", "/tmp/kv_export_readers")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def export(book, fmt, name, *extra):
    out = os.path.join(work, name)
    subprocess.run([cli, "export", book, out, "--format", fmt, *extra], check=True)
    return out


def soffice(src, fmt):
    outdir = os.path.join(work, "lo_" + fmt.split(":")[0])
    os.makedirs(outdir, exist_ok=True)
    for attempt in range(2):  # a fresh profile's first start may end early
        subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/lo-profile", "--headless",
                        "--convert-to", fmt, "--outdir", outdir, src],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
        out = os.path.join(outdir, os.path.splitext(os.path.basename(src))[0] + "." +
                           fmt.split(":")[0])
        if os.path.exists(out):
            return out
    check(False, "LibreOffice made nothing of %s as %s" % (src, fmt))
    return None


book = os.path.join(work, "book.xlsx")
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Numbers"
numbers = [1 / 3, 2 / 3 * 100, 1e-7, 1e15, 123456789.123, 7]
ws.append(numbers)
ws.append(["00012", None, "text", 5])
ws.append([None, None, None, None])
ws.append(["tail", None, None, 2.5])
hid = wb.create_sheet("Hidden")
hid.append(["keep A1", "secret B1", "keep C1"])
hid.append(["secret A2", "secret B2", "secret C2"])
hid.append(["keep A3", "secret B3", "keep C3"])
hid.column_dimensions["B"].hidden = True
hid.row_dimensions[2].hidden = True
caps = wb.create_sheet("Caps")
for r in range(3):
    caps.append(["MWOMWOMWOMWOMWOMWOMWO", "W" * 40, "The quick brown fox jumps over the lazy dog " * 5])
scripts = wb.create_sheet("Σενάρια")
script_cells = [["Ελληνικά γράμματα", "Кириллица текст", "Zażółć gęślą jaźń", "İstanbul ığüşöç Ğ"],
                ["中文字符测试", "日本語のテキスト", "한국어 텍스트", "\u0378 none"]]
for row in script_cells:
    scripts.append(row)
# More than 256 glyphs of one font, so that text crosses its groups of one-byte codes (letters
# whose compatibility forms pdftotext would give instead are left out).
letters = [chr(c) for c in [*range(0x100, 0x180), *range(0x410, 0x450), *range(0x391, 0x3AA),
                            *range(0x3B1, 0x3CA)] if c not in (0x132, 0x133, 0x13F, 0x140,
                                                                0x149, 0x17F, 0x3A2)]
many_cells = ["".join(letters[k:k + 12]) for k in range(0, len(letters), 12)]
for k in range(0, len(many_cells), 4):
    scripts.append(many_cells[k:k + 4])
wide = wb.create_sheet("Wide")
for r in range(1, 4):
    wide.append(["r%dc%d" % (r, c) for c in range(1, 36)])
wb.save(book)

# XML Spreadsheet through LibreOffice: numbers are numbers (SUM, COUNT), empties empty (COUNTA).
xml = export(book, "XMLSpreadsheet", "numbers.xml")
raw = open(xml, encoding="utf-8-sig").read()
written = [float(t) for t in re.findall(r'<Data ss:Type="Number">([^<]*)</Data>', raw)]
check(written[:6] == numbers, "XML Spreadsheet numbers as written %r" % written)
check(raw.count("<Data") == 11, "XML Spreadsheet: %d Data elements" % raw.count("<Data"))
xlsx = soffice(xml, "xlsx")
if xlsx:
    back = openpyxl.load_workbook(xlsx).active
    grid = [[c.value for c in row] for row in back.iter_rows(min_row=1, max_row=4, max_col=6)]
    got = grid[0]
    check(all(isinstance(v, (int, float)) for v in got), "XML numbers as read by LibreOffice %r" % got)
    # LibreOffice keeps 15 significant digits; the file itself has every digit (below).
    check(all(abs(a - b) <= 1e-14 * abs(b) for a, b in zip(got, numbers)),
          "XML numbers as LibreOffice reads them %r" % got)
    cells = [v for row in grid for v in row]
    count = sum(isinstance(v, (int, float)) for v in cells)
    counta = sum(v is not None for v in cells)
    check(count == 8, "COUNT %d" % count)
    check(counta == 11, "COUNTA %d: %r" % (counta, grid))
    check(abs(sum(v for v in cells if isinstance(v, (int, float))) -
              (sum(numbers) + 5 + 2.5)) < 1e-6, "SUM of %r" % cells)
    check(grid[1][0] == "00012", "a text stays a text: %r" % grid[1][0])

# Hidden rows and columns: out of the PDF and Word, kept by CSV.
pdf = export(book, "PDF", "hidden.pdf", "--sheet", "Hidden")
text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
check("keep A1" in text and "keep C3" in text, "PDF lacks shown cells %r" % text)
check("secret" not in text, "PDF shows hidden cells %r" % text)
d = docx.Document(export(book, "Word", "hidden.docx", "--sheet", "Hidden"))
got = [[c.text for c in row.cells] for row in d.tables[0].rows]
check(got == [["keep A1", "keep C1"], ["keep A3", "keep C3"]], "DOCX shown cells %r" % got)
with open(export(book, "CSV", "hidden.csv", "--sheet", "Hidden"), newline="",
          encoding="utf-8-sig") as f:
    got = list(csv.reader(f))
check(len(got) == 3 and got[1][1] == "secret B2", "CSV keeps every cell %r" % got)

# PDF: capitals and long texts stay inside their column's rules; cut texts end in an ellipsis.
pdf = export(book, "PDF", "caps.pdf", "--sheet", "Caps")
q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
check(q.returncode == 0, "qpdf --check: %s" % q.stdout)
box = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
words = re.findall(r'xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
                   box)
cells = [w for w in words if float(w[2]) > 40]  # below the title
check(len(cells) > 9, "PDF words %r" % words[:10])
rules = [30 + 140 * k for k in range(1, 4)]
for x0, x1, _, w in cells:
    rule = min(r for r in rules if r > float(x0))
    check(float(x1) <= rule, "PDF word %r ends at %s past its rule %d" % (w, x1, rule))
check(text.count("\u2026") == 0 and box.count("\u2026") >= 6, "PDF cut texts end in an ellipsis")

# PDF in every script: embedded subsets, text that pdftotext gives back as written, a
# character no font has (U+0378) printed as "?" and counted, no word past its rule.
pdf = os.path.join(work, "scripts.pdf")
run = subprocess.run([cli, "export", book, pdf, "--format", "PDF", "--sheet", "Σενάρια"],
                     capture_output=True, text=True)
check(run.returncode == 0 and run.stderr.startswith("1 characters have no glyph"),
      "unprintable count: %r" % run.stderr)
q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
check(q.returncode == 0, "qpdf --check: %s" % q.stdout)
fonts = subprocess.run(["pdffonts", pdf], capture_output=True, text=True).stdout.splitlines()[2:]
check(len(fonts) >= 3 and all(re.match(r"[A-Z]{6}\+\S+ +CID TrueType +Custom +yes yes yes", f)
                               for f in fonts), "pdffonts: %r" % fonts)
ppm = subprocess.run(["pdftoppm", "-r", "20", pdf, os.path.join(work, "scripts")],
                     capture_output=True, text=True)
check(ppm.returncode == 0 and not ppm.stderr, "pdftoppm: %s" % ppm.stderr)
text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
for cell in [c for row in script_cells for c in row][:-1] + ["? none", "Σενάρια"] + many_cells:
    check(cell in text, "pdftotext lacks %r in %r" % (cell, text))
box = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
words = re.findall(r'xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
                   box)
for x0, x1, _, w in [w for w in words if float(w[2]) > 40]:
    rule = min(30 + 140 * k for k in range(1, 5) if 30 + 140 * k > float(x0))
    check(float(x1) <= rule, "PDF word %r ends at %s past its rule %d" % (w, x1, rule))

# Word's 35 columns come in bands LibreOffice lays out at least half an inch wide.
docout = export(book, "Word", "wide.docx", "--sheet", "Wide")
d = docx.Document(docout)
widths = [c.width for t in d.tables for c in t.columns]
check(len(d.tables) == 3 and len(widths) == 35, "DOCX bands %r" % [len(t.columns) for t in d.tables])
lopdf = soffice(docout, "pdf")
if lopdf:
    box = subprocess.run(["pdftotext", "-bbox", lopdf, "-"], capture_output=True, text=True).stdout
    starts = sorted({round(float(x)) for x in
                     re.findall(r'xMin="([\d.]+)"[^>]*>r1c\d+</word>', box)})
    gaps = [b - a for a, b in zip(starts, starts[1:])]
    check(len(starts) == 17 and min(gaps) >= 36, "LibreOffice's column starts %r" % starts)

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
