# `kvgridfold cells --shown` on every committed producer's workbook and on the
# number-format generator's book, against LibreOffice's CSV export with "save
# cell content as shown" (or Excel's text where the fixtures list one), cell
# by cell. At least 99% of the numeric cells must
# read the same; every cell that differs must be listed below with its reason
# (and a listed cell that no longer differs is reported, so the list stays true).
# The default `cells` texts are checked unchanged by load_fixtures.py.
import csv, datetime, glob, os, re, subprocess, sys
import openpyxl

KV = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
FIXTURES = sorted(glob.glob(os.path.join(SRC, "tests/fixtures/xlsx/*.xlsx"))) + [
    os.path.join(SRC, "tests/fixtures/numfmt/numfmt.xlsx")]
# LibreOffice cannot open a package with "\\" in its entry names.
SKIPPED = {"load-backslash.xlsx"}
NOT_FOR_OPENPYXL = {"load-sdk-prefixes.xlsx", "load-relocated.xlsx"}
# (file, sheet, row, column) 0-based -> why the shown texts differ.
EXPECTED_DIFFERENCES = {
    ("numfmt.xlsx", "Formats", 8, 2):
        "General 1E20: two exponent digits as spreadsheet programs write; LibreOffice writes 1E+020",
}
# numfmt.xlsx rows where Excel shows a text other than LibreOffice's: the engine follows
# Excel there (the excel column of numfmt-expected.tsv, see its README).
EXCEL_TEXTS = {}
with open(os.path.join(SRC, "tests/fixtures/numfmt/numfmt-expected.tsv"), encoding="utf-8") as f:
    for r, line in enumerate(f.read().splitlines()[1:], start=1):
        fields = line.split("\t")
        if len(fields) > 5 and fields[5]:
            EXCEL_TEXTS[r] = fields[5]
failures = []


def run(*args):
    return subprocess.run([KV, *args], check=True, capture_output=True, text=True).stdout


def unescape(cell):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[m.group(1)], cell)


def cells(path, sheet, *flags):
    lines = run("cells", path, "--sheet", str(sheet), *flags).split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [[unescape(c) for c in line.split("\t")] for line in lines]


def at(rows, r, c):
    return rows[r][c] if r < len(rows) and c < len(rows[r]) else ""


def looks_numeric(text):
    try:
        float(text)
        return True
    except ValueError:
        return bool(re.fullmatch(r"\d{4}-\d\d-\d\d( \d\d:\d\d)?", text))


numeric_total = numeric_same = 0
seen_differences = set()
os.makedirs(WORK, exist_ok=True)
for path in FIXTURES:
    name = os.path.basename(path)
    if name in SKIPPED:
        continue
    lo_dir = os.path.join(WORK, "lo-" + os.path.splitext(name)[0])
    os.makedirs(lo_dir, exist_ok=True)
    for attempt in range(2):  # a fresh profile's first start may end early
        subprocess.run(["soffice", f"-env:UserInstallation=file://{WORK}/lo-profile", "--headless",
                        "--convert-to",
                        "csv:Text - txt - csv (StarCalc):9,34,76,1,,1033,false,true,true,false,false,-1",
                        "--outdir", lo_dir, path], capture_output=True, timeout=180)
        if glob.glob(os.path.join(lo_dir, "*.csv")):
            break
    book = None if name in NOT_FOR_OPENPYXL else openpyxl.load_workbook(path, data_only=True)
    for line in run("info", path).splitlines():
        index, sheet_name, _, _ = line.split("\t")
        shown = cells(path, index, "--shown")
        stored = cells(path, index)
        base = os.path.splitext(name)[0]
        with open(os.path.join(lo_dir, f"{base}-{sheet_name}.csv"), newline="", encoding="utf-8") as f:
            theirs = list(csv.reader(f, delimiter="\t"))
        ws = book[sheet_name] if book is not None else None
        for r in range(max(len(shown), len(theirs))):
            for c in range(max(len(shown[r]) if r < len(shown) else 0, len(theirs[r]) if r < len(theirs) else 0)):
                if ws is not None:
                    v = ws.cell(row=r + 1, column=c + 1).value
                    numeric = isinstance(v, (int, float, datetime.date, datetime.time,
                                             datetime.timedelta)) and not isinstance(v, bool)
                else:
                    numeric = looks_numeric(at(stored, r, c))
                mine, lo = at(shown, r, c), at(theirs, r, c)
                key = (name, sheet_name, r, c)
                if name == "numfmt.xlsx" and c == 2 and r in EXCEL_TEXTS:
                    lo = EXCEL_TEXTS[r]
                if numeric:
                    numeric_total += 1
                    numeric_same += mine == lo
                if mine == lo:
                    continue
                seen_differences.add(key)
                if key not in EXPECTED_DIFFERENCES:
                    failures.append(f"{name}/{sheet_name} row {r + 1} col {c + 1}: "
                                    f"ours {mine!r}, LibreOffice {lo!r}")

# `export --shown` writes the same texts (read back by Python's csv module);
# without --shown the stored ones.
book_path = FIXTURES[-1]
for flags, wanted in ((["--shown"], cells(book_path, 1, "--shown")), ([], cells(book_path, 1))):
    out = os.path.join(WORK, "export%s.csv" % "".join(flags))
    run("export", book_path, out, "--format", "CSV", *flags)
    with open(out, newline="", encoding="utf-8-sig") as f:
        exported = list(csv.reader(f))
    if exported != wanted:
        failures.append(f"export {' '.join(flags)} differs from cells {' '.join(flags)}")

for key in sorted(set(EXPECTED_DIFFERENCES) - seen_differences):
    failures.append(f"listed difference no longer differs: {key}")
share = numeric_same / numeric_total if numeric_total else 0
print(f"{numeric_same} of {numeric_total} numeric cells ({share:.2%}) shown as LibreOffice shows them")
if share < 0.99:
    failures.append(f"only {share:.2%} of numeric cells agree")
if failures:
    print("\n".join(failures))
    sys.exit(1)
