"""Edit, save, open: formulas follow an edit into the saved file.

Books LibreOffice made (tests/fixtures/calc, values cached by LibreOffice)
and the sample get one `kvgridfold set` edit each (an input that formulas
read, on the same sheet and on others; in one book a typed formula). The
saved book is then read three ways: by openpyxl with data_only (the cached
values), by LibreOffice with its default settings (which shows cached values
and does not recalculate an .xlsx on load), and by LibreOffice with
recalculation on load forced (its documented setting OOXMLRecalcMode = 0,
"always recalculate"), the oracle. The first two must equal the oracle in
every cell of every sheet: numbers to 15 significant digits, everything else
exactly. Each edit must have changed some formula's value, so that agreement
is not that of untouched files. Byte for byte, the saved worksheet parts
differ from the input only in the edited cells and in the value and type of
formula cells, whose formulas stay as written.
"""
import datetime
import os
import re
import shutil
import subprocess
import sys
import zipfile

import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from lo_recalc import recalc_profile  # noqa: E402

CLI = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
CALC = os.path.join(SRC, "tests/fixtures/calc")

# book -> the edits given to `set`.
EDITS = {
    os.path.join(SRC, "samples/Quarterly.xlsx"): ["Summary!B2=1234.5"],
    os.path.join(CALC, "budget.xlsx"): ["Income!B2=4321.5"],
    os.path.join(CALC, "gradebook.xlsx"): ["Grades!B3=99"],
    os.path.join(CALC, "invoice.xlsx"): ["Invoice!B6=13", "Invoice!H1=0.09"],
    os.path.join(CALC, "sales.xlsx"): ["Sales!C2=1300", "Sales!H2==G2/SUM(G$2:G$9)"],
    os.path.join(CALC, "schedule.xlsx"): ["Schedule!B2=9"],
    os.path.join(CALC, "report.xlsx"): ["Orders!D2=50"],
    os.path.join(CALC, "loan.xlsx"): ["Loan!B2=0.05"],
    os.path.join(CALC, "chain.xlsx"): ["Chain!A1=2.25"],
}

# Cells where the oracle differs from Excel's documented result, which the
# engine follows.
KNOWN = {
    ("schedule.xlsx", "Schedule", "F40"):
        "WEEKNUM(2024-12-30,1): Excel counts week 53 of 2024, LibreOffice week 1 of 2025",
}

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def values(path):
    """Every cell's cached value, by (sheet, coordinate)."""
    wb = openpyxl.load_workbook(path, data_only=True)
    return {(ws.title, c.coordinate): c.value
            for ws in wb.worksheets for row in ws.iter_rows() for c in row if c.value is not None}


def serial(v):
    """Dates as numbers: LibreOffice gives a recomputed date its own format."""
    if isinstance(v, datetime.datetime):
        return (v - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
    return v


def uncached(path):
    """Formula cells the file left without a value: shown, not saved, unless
    an edit reaches them, so openpyxl finds none there."""
    wb, data = openpyxl.load_workbook(path), openpyxl.load_workbook(path, data_only=True)
    return {(ws.title, c.coordinate) for ws in wb.worksheets for row in ws.iter_rows() for c in row
            if isinstance(c.value, str) and c.value.startswith("=") and
            data[ws.title][c.coordinate].value is None}


def same(a, b):
    a, b = serial(a), serial(b)
    if isinstance(a, bool) or isinstance(b, bool):
        return a is b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return a == b or abs(a - b) <= 1e-14 * max(abs(a), abs(b))
    return a == b


CELL = re.compile(rb'<c [^>]*?(?:/>|>.*?</c>)', re.S)
REF = re.compile(rb' r="([A-Z]+[0-9]+)"')
FORMULA = re.compile(rb'<f[ >/].*?(?:</f>|/>)', re.S)


def check_bytes(book, out, edits):
    """Only edited cells, and the values of formula cells, differ."""
    edited = {e.split("!", 1)[1].split("=", 1)[0].encode() for e in edits}
    with zipfile.ZipFile(book) as a, zipfile.ZipFile(out) as b:
        for name in a.namelist():
            old, new = a.read(name), b.read(name)
            if not name.startswith("xl/worksheets/") or old == new:
                continue
            old_cells = {REF.search(c).group(1): c for c in CELL.findall(old)}
            new_cells = {REF.search(c).group(1): c for c in CELL.findall(new)}
            if old_cells.keys() == new_cells.keys():
                check(CELL.sub(b"<c/>", old) == CELL.sub(b"<c/>", new),
                      f"{out}: {name} changed outside its cells")
            for ref, cell in new_cells.items():
                if ref in edited or old_cells.get(ref) == cell:
                    continue
                before = FORMULA.findall(old_cells.get(ref, b""))
                check(before and before == FORMULA.findall(cell),
                      f"{out}: {name} {ref.decode()} changed beyond its value: {cell[:120]}")


def libreoffice(paths, outdir, profile, forced):
    url = recalc_profile(profile) if forced else "file://" + profile
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=" + url,
                    "--convert-to", "xlsx", "--outdir", outdir, *paths],
                   capture_output=True, timeout=600)


def main():
    if not shutil.which("soffice"):
        print("FAIL: LibreOffice (soffice) is not installed; it is the oracle here")
        return 1
    d = os.path.join(WORK, "recalc")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    saved = []
    for book, edits in EDITS.items():
        out = os.path.join(d, os.path.basename(book))
        r = subprocess.run([CLI, "set", book, "-o", out, *edits], capture_output=True, text=True)
        check(r.returncode == 0, f"{out}: set fails: {r.stderr}")
        check_bytes(book, out, edits)
        saved.append(out)
    libreoffice(saved, os.path.join(d, "plain"), os.path.join(d, "lo-plain"), False)
    libreoffice(saved, os.path.join(d, "forced"), os.path.join(d, "lo-forced"), True)
    for book, out in zip(EDITS, saved):
        name = os.path.basename(out)
        ours, before = values(out), values(book)
        oracle = values(os.path.join(d, "forced", name))
        plain = values(os.path.join(d, "plain", name))
        moved = [k for k in oracle if k in before and not same(before[k], oracle[k])]
        check(len(moved) > len(EDITS[book]), f"{name}: the edits changed no formula's value")
        skip = {k for k in oracle if (name,) + k in KNOWN}
        for reader, got in (("openpyxl", ours), ("LibreOffice as saved", plain)):
            left = skip | (uncached(book) if reader == "openpyxl" else set())
            wrong = [(k, got.get(k), v) for k, v in oracle.items()
                     if k not in left and not same(got.get(k), v)]
            wrong += [(k, v, None) for k, v in got.items() if k not in oracle]
            check(not wrong, f"{name}: {reader} differs from the recalculation in "
                             f"{len(wrong)} cells, e.g. {wrong[:3]}")
        print(f"{name}: {len(moved)} cells changed by the edits; {len(oracle)} cells agree")
    print("%d checks failed" % len(failures) if failures else "recalc edits: all checks passed")
    return 1 if failures else 0


sys.exit(main())
