"""Edits typed as a spreadsheet types them, read back by openpyxl and
LibreOffice. Books made by openpyxl get `kvgridfold set` edits into a Text
cell, a boolean cell, date cells (1900 and 1904 systems), a number cell and a
table's header; the result must read back with the types Excel would give
(text with its zeros, a boolean, real dates, a number), the table's column
renamed, and the workbook part asking readers to recalculate its formulas. Refused edits (a locked cell of a protected sheet, an
empty or duplicate header, text over 32,767 characters) must fail with their
message and leave the file as it was. Every saved table part is checked:
header cells are text equal to their column names, unique in the table.
"""
import csv
import datetime
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import zipfile

import openpyxl
from openpyxl.styles import Protection
from openpyxl.worksheet.table import Table

from _tables import table_faults

CLI = os.environ["KVGRIDFOLD"]
WORK = os.environ["KV_WORK_DIR"]

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run_cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def make_book(path, date1904=False):
    wb = openpyxl.Workbook()
    if date1904:
        wb.epoch = openpyxl.utils.datetime.CALENDAR_MAC_1904
    ws = wb.active
    ws.title = "S"
    ws["A1"] = "00123"
    ws["A1"].number_format = "@"
    ws["B1"] = True
    ws["C1"] = datetime.datetime(2023, 3, 15)
    ws["C1"].number_format = "yyyy-mm-dd"
    ws["D1"] = datetime.datetime(2023, 3, 15)
    ws["D1"].number_format = "dd/mm/yyyy"
    ws["E1"] = 7
    ws["F1"] = '=TEXT(C1+30,"yyyy-mm-dd")'
    ws["G1"] = '=IF(B1,"yes","no")'
    ws["H1"] = "=E1*2"
    ws["I1"] = '=TEXT(D1,"yyyy-mm-dd")'
    ws.append([])
    ws.append(["Name", "Amount"])
    ws.append(["a", 1])
    ws.append(["b", 2])
    ws.add_table(Table(displayName="Sales", ref="A3:B5"))
    p = wb.create_sheet("P")
    p["A1"] = "locked"
    p["B1"] = "open"
    p["B1"].protection = Protection(locked=False)
    p.protection.sheet = True
    wb.save(path)
    # As a spreadsheet program leaves it: formulas with cached values (the
    # ones the inputs give before the edits), and no request to recalculate.
    stale = {'<c r="F1">': ('t="str"', "2023-04-14"), '<c r="G1">': ('t="str"', "yes"),
             '<c r="H1">': ("", "14"), '<c r="I1">': ('t="str"', "2023-03-15")}
    with zipfile.ZipFile(path) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    sheet = parts["xl/worksheets/sheet1.xml"].decode()
    for cell, (t, v) in stale.items():
        at = sheet.index(cell)
        end = sheet.index("<v></v>", at)
        sheet = sheet[:at] + cell[:-1] + (" " + t if t else "") + ">" + sheet[at + len(cell):end] + \
            "<v>" + v + "</v>" + sheet[end + len("<v></v>"):]
    parts["xl/worksheets/sheet1.xml"] = sheet.encode()
    parts["xl/workbook.xml"] = parts["xl/workbook.xml"].replace(b' fullCalcOnLoad="1"', b"")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for n, b in parts.items():
            z.writestr(n, b)


def lo_csv(path, d):
    out = os.path.join(d, "csv")
    os.makedirs(out, exist_ok=True)
    conv = subprocess.run(
        ["soffice", "--headless", "-env:UserInstallation=file:///tmp/lo-edits",
         "--convert-to", 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1',
         "--outdir", out, path], capture_output=True, text=True, timeout=180)
    sheets = {}
    for f in sorted(glob.glob(os.path.join(out, "*.csv"))):
        with open(f, newline="", encoding="utf-8") as fh:
            sheets[os.path.basename(f)] = list(csv.reader(fh))
    return sheets if conv.returncode == 0 and sheets else None


def check_tables(path):
    for fault in table_faults(path):
        check(False, fault)


def main():
    d = os.path.join(WORK, "typed")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    for date1904 in (False, True):
        tag = "1904" if date1904 else "1900"
        book = os.path.join(d, f"book-{tag}.xlsx")
        out = os.path.join(d, f"out-{tag}.xlsx")
        make_book(book, date1904)
        r = run_cli("set", book, "-o", out, "S!A1=00456", "S!B1=false", "S!C1=2024-02-01",
                    "S!D1=01/02/2024", "S!E1=12.50", "S!B3=Price", "P!B1=changed")
        check(r.returncode == 0, f"{tag}: set succeeds: {r.stderr}")
        wb = openpyxl.load_workbook(out)
        s = wb["S"]
        want = {"A1": "00456", "B1": False, "C1": datetime.datetime(2024, 2, 1),
                "D1": datetime.datetime(2024, 2, 1), "E1": 12.5, "B3": "Price"}
        for ref, value in want.items():
            got = s[ref].value
            check(got == value and type(got) is type(value), f"{tag} openpyxl {ref}: {got!r} is {value!r}")
        check(s["A1"].number_format == "@", f"{tag}: A1 keeps its Text format")
        check(wb["P"]["B1"].value == "changed", f"{tag}: the unlocked cell was edited")
        check([c.name for c in s.tables["Sales"].tableColumns] == ["Name", "Price"],
              f"{tag}: the table's column is renamed")
        with zipfile.ZipFile(out) as z:
            check(b'<calcPr calcId="124519" fullCalcOnLoad="1"/>' in z.read("xl/workbook.xml"),
                  f"{tag}: readers are told to recalculate")
        check_tables(out)
        lo = lo_csv(out, os.path.join(d, tag))
        check(lo is not None, f"{tag}: LibreOffice converts the saved book")
        if lo:
            row = next(v for k, v in lo.items() if k.endswith("-S.csv"))[0]
            check(row[:3] + row[4:5] == ["00456", "FALSE", "2024-02-01", "12.5"],
                  f"{tag} LibreOffice row 1: {row[:5]}")
            # LibreOffice shows formula results as cached: it recalculates an
            # .xlsx on load only when its own setting says so, whatever calcPr
            # asks. The save caches the values that follow the edits.
            check(row[5:9] == ["2024-03-02", "no", "25", "2024-02-01"],
                  f"{tag} LibreOffice formulas as cached: {row[5:9]}")

    book = os.path.join(d, "book-1900.xlsx")
    before = sha(book)
    refused = [
        ("P!A1=x", "The cell A1 is locked: the sheet P is protected."),
        ("S!B3=", "A table's header cannot be empty: B3 heads a column of the table Sales."),
        ("S!B3=name", "The table Sales already has a column named name."),
        ("S!E1=" + "x" * 40000, "A cell can hold at most 32,767 characters; this text has 40000."),
    ]
    for arg, message in refused:
        r = run_cli("set", book, arg)
        check(r.returncode != 0 and message in r.stderr, f"refused {arg[:12]}: {r.stderr.strip()}")
        check(sha(book) == before, f"refused {arg[:12]}: the file is unchanged")
    check(sorted(os.listdir(d)) == sorted(f for f in os.listdir(d) if not f.startswith("~kv")),
          "no temporary file is left")
    # At the limit, the text is saved whole.
    out = os.path.join(d, "limit.xlsx")
    r = run_cli("set", book, "-o", out, "S!E1=" + "x" * 32767)
    check(r.returncode == 0 and openpyxl.load_workbook(out)["S"]["E1"].value == "x" * 32767,
          "32,767 characters are saved whole")
    check_tables(out)

    if failures:
        print(f"{len(failures)} failure(s)")
        sys.exit(1)
    print("save_typed: all checks passed")


main()
