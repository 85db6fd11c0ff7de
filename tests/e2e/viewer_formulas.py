"""Reads back what viewer_formulas.fvh left in the build tree (argument 1).

- The viewer's CSV of the openpyxl book, whose formulas carry no cached
  values, holds what LibreOffice computes for the same book.
- The saved workbook holds each typed formula as a formula with its value
  (openpyxl, with and without data_only), the apostrophe's text as text, and
  the cells a refused formula met as they were; LibreOffice reads the values
  the viewer showed after the edits.
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl

BUILD = sys.argv[1]
SOURCE = sys.argv[2]
BOOK = os.path.join(SOURCE, "tests", "fixtures", "xlsx", "viewer-formulas.xlsx")
SAVED = os.path.join(BUILD, "viewer-formulas-saved.xlsx")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def read_csv(path):
    with open(path, newline="", encoding="utf-8-sig") as f:
        return [row for row in csv.reader(f)]


def libreoffice_sheets(book, sheets, work):
    """Every sheet of book as LibreOffice computes it, by sheet name."""
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        sys.exit("FAIL: LibreOffice (soffice) is not installed; it is the oracle here")
    profile = "file://" + os.path.join(work, "lo-profile")
    # 44,34,76: comma, quote, UTF-8; the last token -1: every sheet to its own file.
    fmt = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"
    subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--convert-to", fmt,
                    "--outdir", work, book], capture_output=True, timeout=180)
    stem = os.path.splitext(os.path.basename(book))[0]
    return {s: read_csv(os.path.join(work, "%s-%s.csv" % (stem, s))) for s in sheets}


def trimmed(rows):
    return [r for r in rows if any(r)]


with tempfile.TemporaryDirectory() as work:
    # Formulas without cached values: the viewer shows what LibreOffice computes.
    lo = libreoffice_sheets(BOOK, ["Totals", "Later"], work)
    for sheet in ("Totals", "Later"):
        shown = read_csv(os.path.join(BUILD, "viewer-formulas-shown_%s.csv" % sheet))
        check(trimmed(shown) == trimmed(lo[sheet]),
              "%s: viewer %r, LibreOffice %r" % (sheet, shown, lo[sheet]))

    # The saved book: formulas with their values, the text as text.
    wb = openpyxl.load_workbook(SAVED)
    values = openpyxl.load_workbook(SAVED, data_only=True)
    ws, vs = wb["Totals"], values["Totals"]
    expected = {
        "B2": (15, 15),
        "D2": ("=SUM(B2:C2)", 35),
        "C4": ("=D2*2", 70),
        # Opened and closed unchanged: as the file had it, without a value.
        "D3": ("=SUM(B3:C3)", None),
        "E2": ("=B2*2+1", 31),
        "E3": ("s", "s"),
    }
    for ref, (formula, value) in expected.items():
        check(ws[ref].value == formula, "%s holds %r, not %r" % (ref, ws[ref].value, formula))
        check(vs[ref].value == value, "%s's value is %r, not %r" % (ref, vs[ref].value, value))
    check(ws["E4"].data_type == "s" and ws["E4"].value == "=1+1",
          "E4 is %r of type %s, not the text =1+1" % (ws["E4"].value, ws["E4"].data_type))

    lo = libreoffice_sheets(SAVED, ["Totals"], work)
    edited = read_csv(os.path.join(BUILD, "viewer-formulas-edited.csv"))
    check(trimmed(edited) == trimmed(lo["Totals"]),
          "saved: viewer %r, LibreOffice %r" % (edited, lo["Totals"]))

print("%d checks failed" % len(failures) if failures else "viewer formulas: all checks passed")
sys.exit(1 if failures else 0)
