#!/usr/bin/python3
"""Exports the amplification workbook (one shared string used by all 400,000
cells of a 2000 x 200 sheet, a package of some 30 KB) to every format under a
memory limit, and checks that the peak resident memory of each export stays
flat: a ten times longer string, so ten times the output, must not raise it.
KV_AMPLIFY_BYTES sets the long string's length (15750 gives 6.3 GB of cell
text, the figure of the benchmark; the default keeps the files small enough
for a test run)."""
import os
import resource
import shutil
import subprocess
import sys
import zipfile

cli = os.environ["KVGRIDFOLD"]
work = os.environ.get("KV_WORK_DIR", "/tmp/kv_export_memory")
big = int(os.environ.get("KV_AMPLIFY_BYTES", "500"))
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
LIMIT = 256 << 20  # address space, far below what any output of the long string needs
MAX_RSS = 32 << 20


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def make_book(path, nbytes):
    unit = 'a&b<c>"d" 1,2\n'
    text = (unit * (nbytes // len(unit) + 1))[:nbytes]
    esc = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    row = '<c t="s"><v>0</v></c>' * 200
    sheet = "".join('<row r="%d">%s</row>' % (r, row) for r in range(1, 2001))
    ns = "http://schemas.openxmlformats.org"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("[Content_Types].xml", '<Types xmlns="%s/package/2006/content-types"/>' % ns)
        z.writestr("xl/workbook.xml",
                   '<workbook xmlns="%s/spreadsheetml/2006/main" xmlns:r="%s/officeDocument/2006/'
                   'relationships"><sheets><sheet name="Amp" sheetId="1" r:id="rId1"/></sheets>'
                   '</workbook>' % (ns, ns))
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<Relationships xmlns="%s/package/2006/relationships"><Relationship Id="rId1" '
                   'Type="%s/officeDocument/2006/relationships/worksheet" '
                   'Target="worksheets/sheet1.xml"/></Relationships>' % (ns, ns))
        z.writestr("xl/sharedStrings.xml",
                   '<sst xmlns="%s/spreadsheetml/2006/main"><si><t xml:space="preserve">%s</t>'
                   '</si></sst>' % (ns, esc))
        z.writestr("xl/worksheets/sheet1.xml",
                   '<worksheet xmlns="%s/spreadsheetml/2006/main"><sheetData>%s</sheetData>'
                   '</worksheet>' % (ns, sheet))
    return len(text)


def limited():
    resource.setrlimit(resource.RLIMIT_AS, (LIMIT, LIMIT))


def export(book, fmt, out):
    """Peak RSS in bytes of one export under the limit, with its exit code and stderr."""
    p = subprocess.Popen([cli, "export", book, out, "--format", fmt], preexec_fn=limited,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = p.stderr.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_maxrss * 1024, p.returncode, err


books = {}
for name, n in [("short", big // 10), ("long", big)]:
    books[name] = os.path.join(work, name + ".xlsx")
    make_book(books[name], n)
print("package: %d bytes, long string %d bytes" % (os.path.getsize(books["long"]), big))

for fmt, ext in [("CSV", "csv"), ("Text", "txt"), ("HTML", "html"), ("XMLSpreadsheet", "xml"),
                 ("Word", "docx"), ("PDF", "pdf")]:
    rss = {}
    for name in ("short", "long"):
        out = os.path.join(work, "%s.%s" % (name, ext))
        rss[name], rc, err = export(books[name], fmt, out)
        check(rc == 0, "%s of the %s string failed (%d): %s" % (fmt, name, rc, err.strip()))
        check("bad_alloc" not in err, "%s reports %r" % (fmt, err))
        size = os.path.getsize(out) if os.path.exists(out) else 0
        print("%-14s %-5s output %6d MiB, peak RSS %5.1f MiB" % (fmt, name, size >> 20,
                                                                 rss[name] / 1048576))
        if name == "long" and fmt in ("CSV", "Text"):
            check(size >= 400000 * big, "%s output is %d bytes" % (fmt, size))
        if os.path.exists(out):
            os.remove(out)
    check(rss["long"] <= MAX_RSS, "%s peak RSS %d" % (fmt, rss["long"]))
    check(rss["long"] <= rss["short"] + (4 << 20), "%s peak RSS grows: %r" % (fmt, rss))

# An export that cannot get its memory says so in words.
LIMIT = 8 << 20
_, rc, err = export(books["short"], "CSV", os.path.join(work, "tight.csv"))
check(rc != 0 and "Not enough memory" in err, "tight limit: %d %r" % (rc, err))

print("%d passed, %d failed" % (1 if not failures else 0, len(failures)))
sys.exit(1 if failures else 0)
