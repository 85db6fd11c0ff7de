#!/usr/bin/python3
"""Writes samples/Quarterly.xlsx, the workbook the demo imports and plays.

Made with openpyxl so that the sample comes from a program nobody here wrote:
three sheets with text, numbers, a date, a formula with its cached value
missing (openpyxl writes none) and a cell with leading blanks. Each region's
Total is a formula (=SUM(B2:E2) ...) whose cached value LibreOffice computes:
the book is converted by LibreOffice headless with recalculation forced, and
the values it gives are written into openpyxl's own file, which stays as
openpyxl wrote it otherwise.
"""
import datetime
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from lo_recalc import recalc_profile  # noqa: E402

out = sys.argv[1] if len(sys.argv) > 1 else "Quarterly.xlsx"


def libreoffice_totals(path, work):
    """The Total column as LibreOffice computes it: {"F2": 5560.75, ...}."""
    profile = recalc_profile(os.path.join(work, "profile"))
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=" + profile,
                    "--convert-to", "xlsx", "--outdir", os.path.join(work, "lo"), path],
                   check=True, capture_output=True, timeout=180)
    ws = openpyxl.load_workbook(os.path.join(work, "lo", os.path.basename(path)),
                                data_only=True)["Summary"]
    return {f"F{r}": ws[f"F{r}"].value for r in range(2, 6)}


def write_cached(path, values):
    """Puts the values into the formula cells of the first sheet's part."""
    with zipfile.ZipFile(path) as z:
        parts = [(i, z.read(i.filename)) for i in z.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for info, data in parts:
            if info.filename == "xl/worksheets/sheet1.xml":
                text = data.decode()
                for ref, v in values.items():
                    text, n = re.subn(r'(<c r="%s"><f>[^<]*</f>)<v></v>' % ref,
                                      r"\g<1><v>%s</v>" % repr(float(v)).removesuffix(".0"), text)
                    assert n == 1, ref
                data = text.encode()
            z.writestr(info, data)


wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Summary"
ws.append(["Region", "Q1", "Q2", "Q3", "Q4", "Total"])
rows = [("North", 1200.5, 1350, 1410.25, 1600), ("South", 980, 1020.75, 1105, 1230),
        ("East", 1500, 1475.5, 1530, 1690.1), ("West", 760.25, 810, 905.5, 990)]
for n, r in enumerate(rows, start=2):
    ws.append(list(r) + [f"=SUM(B{n}:E{n})"])
ws["A8"] = "Prepared"
ws["B8"] = datetime.date(2026, 3, 7)
ws["B8"].number_format = "yyyy-mm-dd"

ws = wb.create_sheet("Staff")
ws.append(["Name", "Team", "Started", "Hours"])
for i, (n, t) in enumerate([("Ana", "North"), ("Björn", "South"), ("Chloé", "East"),
                            ("Dmitri", "West"), ("Eun-ji", "North")]):
    ws.append([n, t, datetime.date(2020 + i, 1 + i, 10 + i), 30 + i * 2.5])
    ws.cell(row=ws.max_row, column=3).number_format = "dd.mm.yyyy"

ws = wb.create_sheet("Notes")
ws["A1"] = "Figures in EUR thousands."
ws["A2"] = "  indented note"
ws["A3"] = "Line one\nline two"
ws["B5"] = True
ws["C6"] = "=1/0"
wb.save(out)
with tempfile.TemporaryDirectory() as work:
    write_cached(out, libreoffice_totals(out, work))
