# Reads every committed xlsx fixture with `kvgridfold info` and `cells` and
# compares each visible sheet with what LibreOffice reads from the same file
# (its CSV export of raw values) and, for files openpyxl can open, with
# openpyxl's values. Numbers compare by value, dates by their text.
import csv, datetime, glob, math, os, subprocess, sys
import openpyxl
from _grids import trimmed

KV = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
FIXTURES = sorted(glob.glob(os.path.join(SRC, "tests/fixtures/xlsx/*.xlsx")))
# Hand-made packages imitate writers whose habits openpyxl does not follow.
NOT_FOR_OPENPYXL = {"load-sdk-prefixes.xlsx", "load-relocated.xlsx", "load-backslash.xlsx"}
# LibreOffice cannot open a package with "\\" in its entry names; that one is
# compared with what it reads from the same package written with "/".
LO_TWIN = {"load-backslash.xlsx": "load-relocated.xlsx"}
# Cells where the reading differs by design, as (label, row, col).
EXPECTED_DIFFERENCES = set()
failures = []


def run(*args):
    return subprocess.run([KV, *args], check=True, capture_output=True, text=True).stdout


def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        if cell[i] == "\\" and i + 1 < len(cell):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[cell[i + 1]])
            i += 2
        else:
            out.append(cell[i])
            i += 1
    return "".join(out)


def ours(path, sheet):
    lines = run("cells", path, "--sheet", str(sheet)).split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [[unescape(c) for c in line.split("\t")] for line in lines]


def as_number(text):
    try:
        v = float(text)
        return v if math.isfinite(v) else None
    except ValueError:
        return None


def same(mine, theirs):
    if mine == theirs:
        return True
    a, b = as_number(mine), as_number(theirs)
    return a is not None and b is not None and math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-300)


def compare(label, mine, theirs, uncached=frozenset()):
    # uncached: (row, col) of formula cells the file holds no value for; the
    # viewer computes them (LibreOffice's reading checks the value), a reader
    # of cached values shows nothing.
    mine, theirs = trimmed(mine), trimmed(theirs)
    for r in range(max(len(mine), len(theirs))):
        a = mine[r] if r < len(mine) else []
        b = theirs[r] if r < len(theirs) else []
        for c in range(max(len(a), len(b))):
            x = a[c] if c < len(a) else ""
            y = b[c] if c < len(b) else ""
            if (r + 1, c + 1) in uncached and y == "":
                continue
            if not same(x, y) and (label, r + 1, c + 1) not in EXPECTED_DIFFERENCES:
                failures.append(f"{label} row {r + 1} col {c + 1}: ours {x!r}, theirs {y!r}")


def uncached_formulas(path, sheet_name):
    ws = openpyxl.load_workbook(path)[sheet_name]
    return frozenset((c.row, c.column) for row in ws.iter_rows() for c in row
                     if isinstance(c.value, str) and c.value.startswith("="))


def lo_text(v):
    # LibreOffice writes date-times as "yyyy-mm-dd hh:mm:ss"; ours drop the
    # seconds and show no time for a whole day.
    if len(v) == 19 and v[4] == "-" and v[10] == " " and v[13] == ":":
        return v[:10] if v.endswith(" 00:00:00") else v[:16]
    # and a date-only format as mm/dd/yyyy.
    if len(v) == 10 and v[2] == "/" and v[5] == "/" and (v[:2] + v[3:5] + v[6:]).isdigit():
        return f"{v[6:]}-{v[:2]}-{v[3:5]}"
    return v


def openpyxl_text(v):
    if v is None:
        return ""
    if isinstance(v, bool):
        return "TRUE" if v else "FALSE"
    if isinstance(v, datetime.datetime):
        return v.strftime("%Y-%m-%d") if v.time() == datetime.time() else v.strftime("%Y-%m-%d %H:%M")
    if isinstance(v, datetime.date):
        return v.strftime("%Y-%m-%d")
    if isinstance(v, datetime.time):
        return "1899-12-30 " + v.strftime("%H:%M")
    return str(v)


for path in FIXTURES:
    name = os.path.basename(path)
    sheets = [line.split("\t") for line in run("info", path).splitlines()]
    if not sheets:
        failures.append(f"{name}: no sheets listed")
        continue
    lo_name = LO_TWIN.get(name, name)
    lo_dir = os.path.join(WORK, "lo", lo_name)
    os.makedirs(lo_dir, exist_ok=True)
    subprocess.run(["soffice", f"-env:UserInstallation=file://{WORK}/lo-profile", "--headless",
                    "--convert-to",
                    "csv:Text - txt - csv (StarCalc):9,34,76,1,,0,false,true,false,false,false,-1",
                    "--outdir", lo_dir, os.path.join(os.path.dirname(path), lo_name)], check=True, capture_output=True, timeout=180)
    book = None
    if name not in NOT_FOR_OPENPYXL:
        book = openpyxl.load_workbook(path, data_only=True)
    base = os.path.splitext(lo_name)[0]
    for index, sheet_name, rows, cols in sheets:
        mine = ours(path, int(index))
        if len(mine) != int(rows) or any(len(r) != int(cols) for r in mine):
            failures.append(f"{name}/{sheet_name}: cells do not fill {rows} x {cols}")
        csv_path = os.path.join(lo_dir, f"{base}-{sheet_name}.csv")
        with open(csv_path, newline="", encoding="utf-8") as f:
            theirs = [[lo_text(v) for v in row] for row in csv.reader(f, delimiter="\t")]
        compare(f"{name}/{sheet_name} vs LibreOffice", mine, theirs)
        if book is not None:
            ws = book[sheet_name]
            theirs = [[openpyxl_text(v) for v in row] for row in ws.iter_rows(values_only=True)]
            compare(f"{name}/{sheet_name} vs openpyxl", mine, theirs, uncached_formulas(path, sheet_name))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print(f"{len(FIXTURES)} workbooks read the same as LibreOffice and openpyxl read them")
