# Hostile packages through the real CLI, each checked for its clear message
# (or a correct load) and for the peak memory of the whole process.
import os, subprocess, sys, zipfile

KV = os.environ["KVGRIDFOLD"]
WORK = os.environ["KV_WORK_DIR"]
os.makedirs(WORK, exist_ok=True)
LIMIT_MIB = 64
failures = []

BOOK = ('<workbook xmlns:r="r"><sheets><sheet name="S" r:id="a"/></sheets></workbook>')
RELS = ('<Relationships><Relationship Id="a" Target="worksheets/sheet1.xml"/></Relationships>')


def package(name, sheet, extra=()):
    path = os.path.join(WORK, name)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("xl/workbook.xml", BOOK)
        z.writestr("xl/_rels/workbook.xml.rels", RELS)
        z.writestr("xl/worksheets/sheet1.xml", sheet)
        for n, d in extra:
            z.writestr(n, d)
    return path


# A small fresh process starts the CLI and reports its peak RSS, so the memory
# this script used to build the packages is not counted with it.
WRAPPER = ("import os,subprocess,sys\n"
           "p=subprocess.Popen(sys.argv[1:],stdout=subprocess.PIPE,stderr=subprocess.STDOUT)\n"
           "out=p.stdout.read()\n"
           "_,st,ru=os.wait4(p.pid,0)\n"
           "sys.stdout.buffer.write(b'%d %d\\n' % (os.waitstatus_to_exitcode(st), ru.ru_maxrss) + out)\n")


def measured(label, path, expect_ok, expect_text):
    out = subprocess.run(["/usr/bin/python3", "-c", WRAPPER, KV, "info", path],
                         capture_output=True, check=True).stdout.decode("utf-8", "replace")
    head, _, text = out.partition("\n")
    code, rss = (int(v) for v in head.split())
    rss /= 1024
    if (code == 0) != expect_ok or expect_text not in text:
        failures.append(f"{label}: exit {code}, output {text.strip()!r}")
    if rss > LIMIT_MIB:
        failures.append(f"{label}: peak RSS {rss:.0f} MiB over {LIMIT_MIB} MiB")
    print(f"{label}: {rss:.1f} MiB, {text.strip()[:100]}")


# One 1 MiB shared string referenced by 2000 x 200 cells: held once.
cells = "".join(f'<row r="{r}">' + '<c t="s"><v>0</v></c>' * 200 + "</row>" for r in range(1, 2001))
measured("string amplification",
         package("amplify.xlsx", f"<worksheet><sheetData>{cells}</sheetData></worksheet>",
                 [("xl/sharedStrings.xml", "<sst><si><t>" + "x" * (1 << 20) + "</t></si></sst>")]),
         True, "1\tS\t2000\t200")

# A worksheet that inflates from about 300 KB to 300 MiB.
measured("zip bomb", package("bomb.xlsx", "<worksheet><sheetData>" + " " * (300 << 20) +
                             "</sheetData></worksheet>"), False, "zip bomb")

# Entity expansion: nothing declared in a DTD is expanded.
laughs = '<!DOCTYPE w [<!ENTITY a "aaaaaaaaaa">' + "".join(
    f'<!ENTITY {chr(98 + i)} "' + f"&{chr(97 + i)};" * 10 + '">' for i in range(9)) + "]>"
measured("entity expansion", package("laughs.xlsx", laughs +
                                     '<worksheet><sheetData><row r="1"><c r="A1" t="inlineStr">'
                                     "<is><t>&j;</t></is></c></row></sheetData></worksheet>"),
         True, "1\tS\t1\t1")

# Far references: a cell at the format's last place costs one cell, and a
# reference beyond the format's limits is ignored.
measured("far reference", package("far.xlsx", '<worksheet><sheetData><row r="1048576">'
                                  '<c r="XFD1048576"><v>1</v></c><c r="ZZZZZZZZZZZZ99999999999">'
                                  "<v>2</v></c></row></sheetData></worksheet>"),
         True, "1\tS\t1048576\t16384")

# An old binary or encrypted workbook.
ole = os.path.join(WORK, "old.xls")
with open(ole, "wb") as f:
    f.write(bytes.fromhex("D0CF11E0A1B11AE1") + bytes(4096))
measured("compound document", ole, False, "encrypted (password-protected) workbook or an old binary")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("hostile packages answered within bounded memory")
