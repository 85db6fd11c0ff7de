"""Books written by openpyxl, xlsxwriter and LibreOffice are edited with
`kvgridfold set`; the result must be a sound archive that openpyxl and
LibreOffice read with exactly the edits made, and a save that cannot complete
must leave the original file byte-identical with no temporary file beside it.
Then one cell of every committed fixture (every producer, hand-made packages
with prefixes and without `r`) is edited: every worksheet part must keep
unique ascending row numbers, inferred ones included, and our reader, openpyxl
and LibreOffice must each read exactly that cell changed.
"""
import csv
import datetime
import glob
import hashlib
import os
import xml.etree.ElementTree as ET
import resource
import shutil
import signal
import subprocess
import sys

from _grids import trimmed
from _tables import table_faults
import zipfile

import openpyxl

CLI = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
FIXTURES = os.path.join(SRC, "tests", "fixtures", "xlsx")
PRODUCERS = ["openpyxl", "xlsxwriter", "libreoffice"]

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run_cli(*args, limit_bytes=None):
    def child_setup():
        if limit_bytes is not None:
            # Ignored, the signal turns the limit into a write error the CLI reports.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_bytes, limit_bytes))
    return subprocess.run([CLI, *args], capture_output=True, text=True, preexec_fn=child_setup)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def values(path):
    wb = openpyxl.load_workbook(path)
    return {ws.title: {c.coordinate: c.value for row in ws.iter_rows() for c in row if c.value is not None}
            for ws in wb.worksheets}


def only_recalc_request(new, old):
    """Whether a saved workbook part differs from the loaded one only by
    asking readers to recalculate (calcPr fullCalcOnLoad="1", added or set)."""
    def strip(t):
        return t.replace(b'<calcPr fullCalcOnLoad="1"/>', b"").replace(b' fullCalcOnLoad="1"', b"")
    return strip(new) == strip(old)


def fresh_dir(name):
    d = os.path.join(WORK, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def lo_csv(path, d, tag):
    out = os.path.join(d, tag)
    os.makedirs(out, exist_ok=True)
    conv = subprocess.run(
        ["soffice", "--headless", "-env:UserInstallation=file://" + os.path.join(d, "lo-profile"),
         "--convert-to", 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1',
         "--outdir", out, path], capture_output=True, text=True, timeout=180)
    sheets = {}
    for f in sorted(glob.glob(os.path.join(out, "*.csv"))):
        with open(f, newline="", encoding="utf-8") as fh:
            sheets[os.path.basename(f)] = list(csv.reader(fh))
    return sheets if conv.returncode == 0 and "Error" not in conv.stderr and sheets else None


EDITS = {
    ("Sheet1", "B2"): ("12.50", 12.5),
    ("Sheet1", "B3"): ("was a formula", "was a formula"),
    # A date typed into a date cell is a date, as in Excel.
    ("Sheet1", "C2"): ("2024-01-01", datetime.datetime(2024, 1, 1)),
    ("Sheet1", "D4"): (" two\nlines ", " two\nlines "),
    ("Sheet1", "B5"): ("1,5", "1,5"),
    ("Sheet1", "A1"): ("", None),
    ("Data", "C3"): ("-2", -2),
    ("Data", "A1"): ("caf\u00e9 & <b>", "caf\u00e9 & <b>"),
}


def edit_and_read_back(producer):
    d = fresh_dir("edit_" + producer)
    src = os.path.join(FIXTURES, "edit-%s.xlsx" % producer)
    out = os.path.join(d, "out.xlsx")
    # Data by its 1-based number (it is the second visible sheet) for one edit.
    args = ["%s!%s=%s" % ("2" if (s, r) == ("Data", "C3") else s, r, v) for (s, r), (v, _) in EDITS.items()]
    res = run_cli("set", src, "-o", out, *args)
    check(res.returncode == 0, "%s: set failed: %s" % (producer, res.stderr))
    if res.returncode != 0:
        return

    with zipfile.ZipFile(out) as z, zipfile.ZipFile(src) as orig:
        check(z.testzip() is None, producer + ": archive has a bad entry")
        check(z.namelist() == orig.namelist(), producer + ": entry names or order changed")
        edited = {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet3.xml"}
        for name in orig.namelist():
            if name == "xl/workbook.xml":
                # The book has formulas: only the request to recalculate them is new.
                check(b'fullCalcOnLoad="1"' in z.read(name), producer + ": no request to recalculate")
                check(only_recalc_request(z.read(name), orig.read(name)),
                      producer + ": workbook.xml changed otherwise")
            elif name not in edited:
                check(z.read(name) == orig.read(name), "%s: %s changed" % (producer, name))

    expected = values(src)
    for (sheet, ref), (_, want) in EDITS.items():
        if want is None:
            expected[sheet].pop(ref, None)
        else:
            expected[sheet][ref] = want
    got = values(out)
    check(got == expected, "%s: openpyxl reads\n%s\nexpected\n%s" % (producer, got, expected))

    before, after = openpyxl.load_workbook(src), openpyxl.load_workbook(out)
    for ref in ["A1", "B2", "C2", "B3"]:
        check(after["Sheet1"][ref].style_id == before["Sheet1"][ref].style_id,
              "%s: style of %s lost" % (producer, ref))
    check(after["Sheet1"]["B2"].number_format == "0.00", producer + ": number format of B2 lost")
    check(after["Sheet1"]["A1"].font.b, producer + ": bold of emptied A1 lost")
    check(after["Hidden"].sheet_state == "hidden", producer + ": hidden sheet shown")

    # LibreOffice: every sheet to CSV, without complaint, showing the new values.
    converted = lo_csv(out, d, "lo") or {}
    check(converted, producer + ": LibreOffice could not convert the saved book")
    sheets = {}
    for title in ["Sheet1", "Hidden", "Data"]:
        name = "out-%s.csv" % title
        check(name in converted, "%s: LibreOffice wrote no %s" % (producer, name))
        if name in converted:
            sheets[title] = converted[name]
    if "Sheet1" in sheets and "Data" in sheets:
        s1, data = sheets["Sheet1"], sheets["Data"]
        check(s1[1][1] in ("12.5", "12.50"), "%s: LibreOffice B2 %r" % (producer, s1[1][1]))
        check(s1[2][1] == "was a formula" and s1[1][2] == "2024-01-01", producer + ": LibreOffice row 2/3")
        check(s1[3][3] == " two\nlines ", "%s: LibreOffice D4 %r" % (producer, s1[3][3]))
        check(s1[0][0] == "" and s1[0][1] == "Value", producer + ": LibreOffice row 1 %r" % s1[0])
        check(data[0][0] == "caf\u00e9 & <b>" and data[2][2] == "-2", "%s: LibreOffice Data %r" % (producer, data))


def failed_saves():
    d = fresh_dir("faults")
    book = os.path.join(d, "book.xlsx")
    shutil.copy(os.path.join(FIXTURES, "edit-libreoffice.xlsx"), book)
    digest = sha(book)

    # The process may not write files past 4 KiB: the new package cannot be written.
    res = run_cli("set", book, "Sheet1!A1=changed", limit_bytes=4096)
    check(res.returncode == 1 and "kvgridfold:" in res.stderr, "ulimit: expected an error, got %r" % (res,))
    check(sha(book) == digest, "ulimit: original changed")
    check(os.listdir(d) == ["book.xlsx"], "ulimit: left %s" % os.listdir(d))

    # A target in a folder that does not exist, and a target inside a file.
    for target in [os.path.join(d, "missing", "out.xlsx"), os.path.join(book, "out.xlsx")]:
        res = run_cli("set", book, "-o", target, "Sheet1!A1=changed")
        check(res.returncode == 1, "bad target %s accepted" % target)
    check(sha(book) == digest and os.listdir(d) == ["book.xlsx"], "bad target: files changed")

    # Assignments that cannot be carried out change nothing.
    for bad in ["Nope!A1=x", "Sheet1!A0=x", "Sheet1!XFE1=x", "A1=x"]:
        res = run_cli("set", book, bad)
        check(res.returncode == 1, "%s accepted" % bad)
    check(sha(book) == digest, "rejected assignment changed the file")

    # A full disk: a tmpfs with room for the original but not for a second copy.
    mnt = os.path.join(d, "small")
    os.makedirs(mnt)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12k", "tmpfs", mnt],
                      capture_output=True).returncode == 0:
        try:
            small = os.path.join(mnt, "book.xlsx")
            shutil.copy(book, small)
            res = run_cli("set", small, "Sheet1!A1=changed")
            check(res.returncode == 1, "full disk: expected an error, got %r" % (res,))
            check(sha(small) == digest, "full disk: original changed")
            check(os.listdir(mnt) == ["book.xlsx"], "full disk: left %s" % os.listdir(mnt))
        finally:
            subprocess.run(["umount", mnt])
    else:
        print("note: no tmpfs could be mounted here; the full-disk case was not run")

    # Saving over the input itself works, and again on the saved file.
    res = run_cli("set", book, "Sheet1!A1=changed")
    res2 = run_cli("set", book, "Data!B1=2")
    check(res.returncode == 0 and res2.returncode == 0, "save onto itself failed: %s %s" % (res.stderr, res2.stderr))
    got = values(book)
    check(got["Sheet1"]["A1"] == "changed" and got["Data"]["B1"] == 2, "save onto itself: %r" % got)
    check(sorted(os.listdir(d)) == ["book.xlsx", "small"], "save onto itself left %s" % os.listdir(d))


def local(tag):
    return tag.rsplit("}", 1)[-1].split(":")[-1]


def row_numbers(xml):
    """Row numbers of a worksheet part as loading places them."""
    root = ET.fromstring(xml)
    data = next((c for c in root if local(c.tag) == "sheetData"), None)
    numbers, last = [], 0
    for row in (data if data is not None else []):
        r = row.get("r")
        last = int(r) if r is not None else last + 1
        numbers.append(last)
    return numbers


def our_cells(path, sheet):
    res = run_cli("cells", path, "--sheet", str(sheet))
    return res.stdout if res.returncode == 0 else None


def set_cell(rows, r, c, text):
    while len(rows) <= r:
        rows.append([])
    while len(rows[r]) <= c:
        rows[r].append("")
    rows[r][c] = text


# Fixtures whose C2 a formula reads edit another cell.
EDIT_CELL = {"viewer-formulas.xlsx": "E2"}


def one_edit_in_every_fixture():
    d = fresh_dir("fixtures")
    for src in sorted(glob.glob(os.path.join(FIXTURES, "*.xlsx"))):
        name = os.path.basename(src)
        out = os.path.join(d, name)
        # C2 (or the fixture's own choice): no formula of the fixture refers to
        # it, so no other cell may change.
        ref = EDIT_CELL.get(name, "C2")
        r, c = int(ref[1:]) - 1, ord(ref[0]) - ord("A")
        res = run_cli("set", src, "-o", out, "1!%s=edited" % ref)
        check(res.returncode == 0, "%s: set failed: %s" % (name, res.stderr))
        if res.returncode != 0:
            continue
        with zipfile.ZipFile(out) as z, zipfile.ZipFile(src) as orig:
            check(z.testzip() is None, name + ": archive has a bad entry")
            if any(n.startswith("xl/tables/") for n in z.namelist()):
                for fault in table_faults(out):
                    check(False, fault)
            changed = [n for n in orig.namelist() if z.read(n) != orig.read(n) and not
                       (n == "xl/workbook.xml" and only_recalc_request(z.read(n), orig.read(n)))]
            check(len(changed) <= 1, "%s: more than one entry changed: %s" % (name, changed))
            for part in z.namelist():
                if "worksheets/" in part.replace("\\", "/") and part.endswith(".xml"):
                    rows = row_numbers(z.read(part))
                    check(rows == sorted(set(rows)), "%s: rows of %s not unique ascending: %s"
                          % (name, part, rows))

        # Our reader: the first visible sheet differs in that cell only, the others not at all.
        info = run_cli("info", src).stdout.splitlines()
        for k in range(1, len(info) + 1):
            before, after = our_cells(src, k), our_cells(out, k)
            if k == 1:
                rows = [line.split("\t") for line in before.split("\n")[:-1]]
                set_cell(rows, r, c, "edited")
                got = [line.split("\t") for line in after.split("\n")[:-1]]
                check(trimmed(got) == trimmed(rows), "%s: our reader reads\n%s" % (name, after))
            else:
                check(before == after, "%s: sheet %d changed for our reader" % (name, k))

        # openpyxl, where it reads the source at all.
        try:
            want = values(src)
        except Exception as e:  # noqa: BLE001 - a producer openpyxl cannot read
            print("note: openpyxl cannot read %s (%s); skipped" % (name, e))
            want = None
        visible = [ws.title for ws in openpyxl.load_workbook(src).worksheets
                   if ws.sheet_state == "visible"] if want is not None else []
        if want is not None and not visible:
            print("note: openpyxl finds no worksheet in %s; skipped" % name)
        elif want is not None:
            want[visible[0]][ref] = "edited"
            got = values(out)
            check(got == want, "%s: openpyxl reads\n%s\nexpected\n%s" % (name, got, want))

        # LibreOffice, where it reads the source at all: only that cell of the first sheet differs.
        before = lo_csv(src, d, name + "-before")
        if before is None:
            print("note: LibreOffice cannot read %s; skipped" % name)
            continue
        after = lo_csv(out, d, name + "-after")
        check(after is not None and sorted(after) == sorted(before),
              "%s: LibreOffice sheets %s" % (name, after and sorted(after)))
        if after is None:
            continue
        # The CSV files of the sheets are named after them, in any order: the
        # first visible one is the one whose edited cell now reads "edited".
        edited = [k for k in before if trimmed(after[k]) != trimmed(before[k])]
        check(len(edited) == 1, "%s: LibreOffice sees changes in %s" % (name, edited))
        for k in edited:
            rows = [list(r) for r in before[k]]
            set_cell(rows, r, c, "edited")
            check(trimmed(after[k]) == trimmed(rows), "%s: LibreOffice reads %r" % (name, after[k]))


for p in PRODUCERS:
    edit_and_read_back(p)
failed_saves()
one_edit_in_every_fixture()
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
