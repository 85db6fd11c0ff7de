"""Real faults through the kvgridfold CLI, as a user's shell or system makes
them: a file-size limit (ulimit -f, with its signal left as a shell leaves
it), a folder the user may not write (another user's, or a read-only bind
mount), a full file system (a small tmpfs). For set, export and import each
failure must be an error message and exit code 1, never a signal; the user's
files stay byte-identical and no temporary file is left. Then a corpus of
damaged packages made here from a LibreOffice workbook goes through
`kvgridfold cells`: each ends with a clean exit, never a signal.
Prints the number of faults made and survived.
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile

CLI = os.environ["KVGRIDFOLD"]
SRC = os.environ["KV_SOURCE_DIR"]
WORK = os.environ["KV_WORK_DIR"]
FIX = os.path.join(SRC, "tests", "fixtures")
BOOK = os.path.join(FIX, "xlsx", "edit-libreoffice.xlsx")
PUB = os.path.join(FIX, "pub", "course-utf8.pub")

failures = []
made = survived = 0


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)
    return cond


def digest(folder):
    out = {}
    for name in sorted(os.listdir(folder)):
        p = os.path.join(folder, name)
        if os.path.isfile(p):
            with open(p, "rb") as f:
                out[name] = hashlib.sha256(f.read()).hexdigest()
    return out


def fresh(name):
    d = os.path.join(WORK, name)
    if os.path.ismount(d):
        subprocess.run(["umount", d])
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def prepare(d):
    shutil.copy(BOOK, os.path.join(d, "book.xlsx"))
    shutil.copy(PUB, os.path.join(d, "Course.pub"))
    with open(os.path.join(d, "out.pdf"), "wb") as f:
        f.write(b"an older export")


def commands(d):
    b, p = os.path.join(d, "book.xlsx"), os.path.join(d, "Course.pub")
    yield "set", [CLI, "set", b, "Sheet1!A1=changed", "Sheet1!B40=" + "x" * 5000]
    for fmt in ["CSV", "Text", "HTML", "XMLSpreadsheet", "Word", "PDF"]:
        yield "export " + fmt, [CLI, "export", b, os.path.join(d, "out.pdf"), "--format", fmt]
    yield "export all CSV", [CLI, "export", b, os.path.join(d, "out.csv"), "--format", "CSV", "--all"]
    yield "import", [CLI, "import", b, p]
    yield "import --current", [CLI, "import", "--current", b, "--pubdir", d, "--pubtitle", "Course"]


def clear(d):
    for n in os.listdir(d):
        p = os.path.join(d, n)
        shutil.rmtree(p) if os.path.isdir(p) else os.remove(p)


def reference_sheets():
    """The files an unhindered all-sheets CSV export writes; those done before
    a failure on a later sheet may stay, whole."""
    d = fresh("reference")
    prepare(d)
    subprocess.run([CLI, "export", os.path.join(d, "book.xlsx"), os.path.join(d, "out.csv"),
                    "--format", "CSV", "--all"], check=True)
    return {n: h for n, h in digest(d).items() if n.startswith("out_")}


EARLIER_SHEETS = {}
LOG = "kvGridfold_import.log"
ENTRY = re.compile(rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  [^\r\n]*\r\n")


def whole_log(path):
    """A log holds nothing but whole entries."""
    with open(path, "rb") as f:
        data = f.read()
    return ENTRY.sub(b"", data) == b""


def attempt(label, argv, folder, before, prefix=None, must_fail=True):
    """Runs argv in a freshly prepared folder. A failure must be clean and
    leave the folder as before; a run that fits must leave no temporary file."""
    global made, survived
    res = subprocess.run((prefix or []) + argv, capture_output=True, text=True, timeout=120)
    now = digest(folder)
    if res.returncode == 0 and not must_fail:
        check(not [n for n in now if ".tmp" in n or ".kvtmp" in n], f"{label}: left {sorted(now)}")
        return
    made += 1
    ok = check(res.returncode == 1, f"{label}: exit {res.returncode} (negative is a signal), {res.stderr!r}")
    # The import driver reports as the host would see it: in [LastError].
    said = res.stdout.partition("[LastError]=")[2].partition("\n")[0] if "--current" in argv \
        else res.stderr.partition("kvgridfold: ")[2]
    ok &= check(len(said) > 12, f"{label}: no clear message: {res.stdout!r} {res.stderr!r}")
    extra = {n for n in set(now) - set(before)
             if EARLIER_SHEETS.get(n) != now[n] and not (n == LOG and whole_log(os.path.join(folder, n)))}
    ok &= check(not extra, f"{label}: left {sorted(extra)}")
    ok &= check(all(now.get(n) == h for n, h in before.items()), f"{label}: changed a file")
    survived += ok


def size_limits():
    d = fresh("ulimit")
    for kib in [1, 4, 8]:
        for label, argv in commands(d):
            clear(d)
            prepare(d)
            # As a shell's ulimit leaves it: SIGXFSZ at its default action.
            attempt(f"ulimit -f {kib}: {label}", argv, d, digest(d),
                    prefix=["bash", "-c", f'ulimit -f {kib}; exec "$0" "$@"'], must_fail=False)


def unwritable_folder():
    d = fresh("readonly")
    prepare(d)
    before = digest(d)
    # Root writes anywhere: the CLI runs as nobody, who may read but not write here.
    nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    if subprocess.run(nobody + ["test", "-r", os.path.join(d, "book.xlsx")]).returncode != 0:
        print("SKIP: cannot run the CLI as another user here")
    else:
        for label, argv in commands(d):
            attempt("other user's folder: " + label, argv, d, before, prefix=nobody)
    # A read-only bind mount stops root as well.
    ro = fresh("robind")
    if subprocess.run(["mount", "--bind", d, ro], capture_output=True).returncode != 0:
        print("SKIP: bind mounts are not permitted here")
        return
    try:
        if subprocess.run(["mount", "-o", "remount,bind,ro", ro], capture_output=True).returncode != 0:
            print("SKIP: read-only remounts are not permitted here")
            return
        for label, argv in commands(ro):
            attempt("read-only mount: " + label, argv, ro, before)
    finally:
        subprocess.run(["umount", ro])


def full_disk():
    d = fresh("full")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", d],
                      capture_output=True).returncode != 0:
        print("SKIP: no tmpfs can be mounted here; full-disk cases not run")
        return
    try:
        for room in [1024, 6144, 12288]:
            for label, argv in commands(d):
                clear(d)
                prepare(d)
                with open(os.path.join(d, "filler"), "wb") as f:
                    try:
                        f.write(b"\0" * (64 << 10))
                    except OSError:
                        pass
                # Free about "room" bytes again for the command.
                with open(os.path.join(d, "filler"), "r+b") as f:
                    f.truncate(max(0, os.path.getsize(os.path.join(d, "filler")) - room))
                attempt(f"full disk, {room} bytes free: {label}", argv, d, digest(d), must_fail=False)
    finally:
        subprocess.run(["umount", d])


def damaged_cells():
    global made, survived
    d = fresh("damaged")
    with open(os.path.join(FIX, "xlsx", "load-libreoffice.xlsx"), "rb") as f:
        good = f.read()
    end = good.rfind(b"PK\x05\x06")
    cd_size, cd_at = struct.unpack("<II", good[end + 12:end + 20])
    variants = [("cut %d" % (len(good) * k // 64), good[:len(good) * k // 64]) for k in range(64)]
    variants += [("flip %d" % i, good[:i] + bytes([good[i] ^ 0xFF]) + good[i + 1:])
                 for i in range(cd_at, len(good))]
    with zipfile.ZipFile(__import__("io").BytesIO(good)) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    for name in ["xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml"]:
        buf = __import__("io").BytesIO()
        with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
            for n, data in parts.items():
                z.writestr(n, data[:len(data) // 2] if n == name else data)
        variants.append(("unclosed " + name, buf.getvalue()))
    buf = __import__("io").BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in parts.items():
            z.writestr(n, data + b" " * (64 << 20) if n == "xl/worksheets/sheet1.xml" else data)
    variants.append(("bomb", buf.getvalue()))
    path = os.path.join(d, "book.xlsx")
    for label, data in variants:
        with open(path, "wb") as f:
            f.write(data)
        made += 1
        res = subprocess.run([CLI, "cells", path], capture_output=True, timeout=60)
        ok = check(res.returncode in (0, 1), f"cells, {label}: exit {res.returncode}")
        if res.returncode == 1:
            ok &= check(res.stderr.startswith(b"kvgridfold: ") and len(res.stderr) > 30,
                        f"cells, {label}: {res.stderr!r}")
        survived += ok


EARLIER_SHEETS = reference_sheets()
size_limits()
unwritable_folder()
full_disk()
damaged_cells()
print(f"real faults: {made} made, {survived} survived")
sys.exit(1 if failures else 0)
