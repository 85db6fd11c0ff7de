# Imports worksheets of workbooks made by LibreOffice and openpyxl into the
# publication fixtures with `kvgridfold import`, then reads the publication
# back with Python's codecs: the report's counts, every new page's action calls
# parsed into their parameters, the Rectangle record, the sheet names as
# openpyxl reads them, and the existing pages unchanged. Also runs the import
# driver in current-publication mode, successful and failing.
import codecs, os, re, shutil, subprocess, sys
import openpyxl

KV = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
PUBS = os.path.join(SRC, "tests/fixtures/pub")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def fresh(name):
    d = os.path.join(WORK, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def kv(*args, cwd=None):
    return subprocess.run([KV, *args], capture_output=True, text=True, cwd=cwd)


def decode(data):
    if data.startswith(codecs.BOM_UTF8):
        return data[3:].decode("utf-8")
    if data.startswith(codecs.BOM_UTF16_LE):
        return data[2:].decode("utf-16-le")
    return data.decode("cp1252")


def lines_of(path):
    return re.split(r"\r\n|\n|\r", decode(open(path, "rb").read()))


def parse_call(text):
    """An action call: the name, then each parameter as a blank and a quoted text."""
    m = re.fullmatch(r'(\w+)((?: "[^"]*")*)', text)
    return (m.group(1), re.findall(r' "([^"]*)"', m.group(2))) if m else None


def grid_pages(lines):
    """The pages that carry a kvGridfoldOpen enter action, as dicts of their lines."""
    pages, cur = [], None
    for i, line in enumerate(lines):
        if line.startswith("NewPage="):
            cur = {"name": line[8:], "at": i, "lines": []}
            pages.append(cur)
        elif cur is not None:
            cur["lines"].append(line)
    return [p for p in pages if any(l.startswith("PgEnterAction=kvGridfoldOpen") for l in p["lines"])]


def lo_book(folder):
    fods = os.path.join(folder, "book.fods")
    cell = '<table:table-row><table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell></table:table-row>'
    tables = "".join('<table:table table:name="%s">%s</table:table>' % (n, cell % "x")
                     for n in ("Budget", "Sales 2024", "Q1 &quot;final&quot;"))
    open(fods, "w", encoding="utf-8").write(
        '<?xml version="1.0" encoding="UTF-8"?><office:document '
        'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
        'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
        'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" '
        'office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
        "<office:body><office:spreadsheet>%s</office:spreadsheet></office:body></office:document>" % tables)
    env = dict(os.environ, HOME=os.path.join(WORK, "lohome"))
    subprocess.run(["soffice", "--headless", "--convert-to", "xlsx", "--outdir", folder, fods],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=240)
    return os.path.join(folder, "book.xlsx")


def check_pages(tag, pub, first_grid, sheets, book_ref, width, height):
    pages = grid_pages(lines_of(pub))
    wanted = ["ExcelGrid_%d" % (first_grid + k) for k in range(len(sheets))]
    new = [p for p in pages for l in p["lines"] if l.startswith("PgEnterAction=")
           and (parse_call(l[len("PgEnterAction="):]) or ("", [""]))[1][:1] in [[w] for w in wanted]]
    check(len(new) == len(sheets), "%s: %d new grid pages" % (tag, len(new)))
    for k, (p, sheet) in enumerate(zip(new, sheets)):
        obj = "ExcelGrid_%d" % (first_grid + k)
        body = p["lines"]
        check(body[:7] == ["PageStyle=0", "PageColor=16777215", "PageGradient1=0", "PageGradient2=0",
                           "PageGradientDir=1", "WallpaperStyle=0", "EffectSpeed=5"],
              "%s: page lines of %s" % (tag, obj))
        enter = parse_call(body[7][len("PgEnterAction="):])
        check(enter == ("kvGridfoldOpen", [obj, book_ref, sheet, "Page", "Yes"]),
              "%s: enter action %r" % (tag, enter))
        leave = parse_call(body[8][len("PgExitAction="):])
        check(leave == ("kvGridfoldClose", [obj]), "%s: exit action %r" % (tag, leave))
        rect = body[9:22]
        check(rect == ["ObjectType=5", "Name=" + obj, "X=4", "Y=4", "W=%d" % width, "H=%d" % height,
                       "Anchor=0", "LineColor=0", "LineWidth=0", "LineStyle=0", "FillColor=16777215",
                       "FillPattern=0", "TabOrder=1"], "%s: Rectangle of %s: %r" % (tag, obj, rect))
    return new


def report_values(pub):
    lines = open(pub + ".kvdiag.txt", "rb").read().decode("cp1252").split("\r\n")
    return lines, [l.split("=", 1)[1] for l in lines[2:9]]


# Three sheets made by LibreOffice into the four-page ANSI publication.
d = fresh("lo")
book = lo_book(d)
names = openpyxl.load_workbook(book).sheetnames
pub = os.path.join(d, "Course.pub")
shutil.copy(os.path.join(PUBS, "course-ansi.pub"), pub)
before = lines_of(pub)
r = kv("import", book, pub)
check(r.returncode == 0, "lo import: %s" % r.stderr)
lines, values = report_values(pub)
check(lines[0] == "kvGridfold publication verification" and lines[1] == "Target=" + pub,
      "lo report head %r" % lines[:2])
check(values == ["4", "3", "1", "7", "3", "3", "3"], "lo report values %r" % values)
# The third sheet's quotes cannot be written, and without them its name would
# find no sheet: the page opens it by its number.
check(names[2] == 'Q1 "final"', "LibreOffice sheet names %r" % names)
check(lines[9:] == ["Verification=PASSED", "SheetByNumber=3 (the sheet's name holds double quotes)", ""],
      "lo report tail %r" % lines[9:])
new = check_pages("lo", pub, 1, names[:2] + ["3"], "[PubDir]book.xlsx", 1016, 760)
check([p["name"] for p in new] == ["Budget", "Sales_2024", "Q1__final_"], "lo page names")
after = lines_of(pub)
# The new pages follow the master page's whole block: they start at the first
# page line after the marker's line.
master = before.index("MasterPage")
head = next(i for i in range(master + 1, len(before)) if before[i].startswith("NewPage="))
check(before[master + 1:head] == ["ObjectType=1", "Name=Banner", "Text=Prix : 5 € – café"],
      "lo: the fixture's master page %r" % before[master:head])
check(after[:head] == before[:head] and after[head + 3 * 23:] == before[head:],
      "lo: existing lines changed")
check(not os.path.exists(pub + ".kvtmp"), "lo: temporary file left")

# A selection in another order and case imports in the workbook's order and
# numbers on from the first import; a workbook elsewhere is named by its path.
other = fresh("lo_other")
shutil.copy(book, os.path.join(other, "book.xlsx"))
r = kv("import", os.path.join(other, "book.xlsx"), pub, "--sheets", " sales 2024 | BUDGET ")
check(r.returncode == 0, "second import: %s" % r.stderr)
check_pages("second", pub, 4, ["Budget", "Sales 2024"], os.path.join(other, "book.xlsx"), 1016, 760)
check(report_values(pub)[1] == ["7", "2", "4", "9", "2", "2", "2"], "second report %r" % report_values(pub)[1])

# openpyxl's sheets, one named in Greek: the host hands action parameters over
# as ANSI text, so in every publication that sheet is opened by its number.
d = fresh("openpyxl")
wb = openpyxl.Workbook()
wb.active.title = "Überblick"
wb.create_sheet("Σύνοψη")
wb.save(os.path.join(d, "greek.xlsx"))
for fixture, first, existing, size, sheet2 in (("course-ansi.pub", 1, 4, (1016, 760), "2"),
                                              ("course-utf8.pub", 6, 3, (792, 592), "2"),
                                              ("course-utf16.pub", 8, 4, (632, 472), "2")):
    pub = os.path.join(d, fixture)
    shutil.copy(os.path.join(PUBS, fixture), pub)
    original = open(pub, "rb").read()
    old_lines = lines_of(pub)
    r = kv("import", os.path.join(d, "greek.xlsx"), pub)
    check(r.returncode == 0, "%s: %s" % (fixture, r.stderr))
    # Every line of the master page stays before the first new page.
    marker = next(i for i, l in enumerate(old_lines) if "MasterPage" in l)
    head = next(i for i in range(marker + 1, len(old_lines)) if old_lines[i].startswith("NewPage="))
    check(head > marker + 1, "%s: the fixture's master page holds only its marker" % fixture)
    new_lines = lines_of(pub)
    check(new_lines[:head] == old_lines[:head] and new_lines[head] == "NewPage=_berblick",
          "%s: master page %r" % (fixture, new_lines[marker:head + 1]))
    data = open(pub, "rb").read()
    check(data[:3] == original[:3] if original[:1] != b"[" else data[:1] == b"[", "%s: encoding" % fixture)
    check_pages(fixture, pub, first, ["Überblick", sheet2], "[PubDir]greek.xlsx", *size)
    lines, values = report_values(pub)
    check(values[:3] == [str(existing), "2", str(first)], "%s report %r" % (fixture, values))
    check(any(l.startswith("SheetByNumber=2") for l in lines) == (sheet2 == "2"),
          "%s: report note %r" % (fixture, lines[10:]))

# The import driver in current-publication mode through the CLI.
d = fresh("current")
shutil.copy(book, os.path.join(d, "book.xlsx"))
pub = os.path.join(d, "Course.pub")
shutil.copy(os.path.join(PUBS, "course-utf8.pub"), pub)
original = open(pub, "rb").read()
r = kv("import", "--current", "[PubDir]book.xlsx", "--pubdir", d, "--pubtitle", "Course (draft)",
       "--sheets", "Budget")
copy = os.path.join(d, "Course.kvGridfold.pub")
check(r.returncode == 0, "current: %s %s" % (r.stdout, r.stderr))
check("[kvGridfoldImportedPub]=%s\n" % copy in r.stdout, "current: imported pub %r" % r.stdout)
check("The current publication was not overwritten." in r.stdout, "current: box %r" % r.stdout)
check(open(pub, "rb").read() == original, "current: the open publication changed")
check(open(copy, "rb").read().startswith(codecs.BOM_UTF8), "current: copy lost its encoding")
check_pages("current", copy, 6, ["Budget"], "[PubDir]book.xlsx", 792, 592)
log = open(os.path.join(d, "kvGridfold_import.log"), encoding="utf-8").read().splitlines()
msgs = [l[21:] for l in log]
check(all(re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  ", l) for l in log), "log stamps %r" % log[:2])
check(msgs[:6] == ["IMPORT START", "ExcelFile=[PubDir]book.xlsx",
                   "SourceExcel=" + os.path.join(d, "book.xlsx"), "TargetPub(raw)=__KVGRIDFOLD_CURRENT__",
                   "CurrentPub=" + pub, "ResolvedTarget=" + pub], "log head %r" % msgs[:6])
check(msgs[6:] == ["OutputPub=" + copy, "Calling ImportWorkbookToFolivantPages",
                   "ImportWorkbookToFolivantPages completed", "OutputSize=%d" % os.path.getsize(copy),
                   "RectangleRecords=2", "OpenActions=2", "CloseActions=2", "SUCCESS: " + copy],
      "log tail %r" % msgs[6:])

# A failing run leaves no copy behind, reports the error and logs it.
r = kv("import", "--current", "[PubDir]book.xlsx", "--pubdir", d, "--pubtitle", "Course",
       "--sheets", "Nope")
check(r.returncode == 1, "failing current: rc %d" % r.returncode)
check(sorted(os.listdir(d)) == ["Course.kvGridfold.pub", "Course.kvGridfold.pub.kvdiag.txt", "Course.pub",
                                "book.xlsx", "kvGridfold_import.log"], "failing current left %r" % os.listdir(d))
check("None of the requested worksheets were found in the workbook.\n\nSee kvGridfold_import.log" in r.stdout,
      "failing current: box %r" % r.stdout)
check(open(os.path.join(d, "kvGridfold_import.log"), encoding="utf-8").read().splitlines()[-1][21:]
      == "ERROR: None of the requested worksheets were found in the workbook.", "failing current: log")

if failures:
    sys.exit("%d failures" % len(failures))
print("import readback: all checks passed")
