#!/usr/bin/env bash
# The CLI's load, edit, save, export and import paths under valgrind's
# memcheck: every run must end with no invalid access, no use of undefined
# values and no definite or indirect leak, on the failing paths (damaged
# workbook, missing sheet, refused import) as on the successful ones. The
# outputs are checked lightly so that each run is known to have done its work.
set -u

if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind_cli: SKIPPED, valgrind is not installed (scripts/setup installs it)"
  exit 0
fi
cli=${KVGRIDFOLD:?KVGRIDFOLD must name the kvgridfold CLI}
src=${KV_SOURCE_DIR:?}
work=${KV_WORK_DIR:?}
if ldd "$cli" 2>/dev/null | grep -q 'libasan'; then
  echo "valgrind_cli: SKIPPED, $cli is built with AddressSanitizer, which valgrind cannot run"
  exit 0
fi

rm -rf "$work"
mkdir -p "$work"
xlsx=$src/tests/fixtures/xlsx
pubs=$src/tests/fixtures/pub
failures=0
runs=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# check NAME WANT_RC ARGS...: runs the CLI under memcheck; the run must exit
# with WANT_RC and memcheck must report no error of any kind.
check() {
  local name=$1 want=$2
  shift 2
  local log=$work/$name.memcheck
  runs=$((runs + 1))
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=1 --num-callers=30 \
    --log-file="$log" "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err"
  local rc=$?
  local summary
  summary=$(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log" | tail -n 1)
  if [ "$summary" != "ERROR SUMMARY: 0 errors" ]; then
    fail "$name: memcheck reports ${summary:-no summary} (log: $log)"
    sed -n '/Invalid\|uninitialised\|definitely lost\|indirectly lost\|Mismatched/,+12p' "$log" | head -n 60
  elif [ "$rc" -ne "$want" ]; then
    fail "$name: exit code $rc, expected $want: $(head -c 400 "$work/$name.err")"
  fi
  echo "$name: $(grep -o 'in use at exit: .*' "$log" | head -n 1); ${summary:-?}"
}

expect_in() {  # expect_in FILE TEXT
  grep -qF -- "$2" "$1" || fail "$1 lacks \"$2\""
}

start=$(date +%s)

# Loading: workbooks written by four programs, and the cells of a second sheet.
check info_openpyxl 0 info "$xlsx/load-openpyxl.xlsx"
expect_in "$work/info_openpyxl.out" "Mixed"
check info_libreoffice 0 info "$xlsx/load-libreoffice.xlsx"
check cells_xlsxwriter 0 cells "$xlsx/load-xlsxwriter.xlsx"
check cells_gnumeric 0 cells "$xlsx/load-gnumeric.xlsx" --sheet 2
check cells_relocated 0 cells "$xlsx/load-relocated.xlsx"

# Edit and save, then load what was saved.
check set_libreoffice 0 set "$xlsx/edit-libreoffice.xlsx" -o "$work/edited.xlsx" \
  "1!B2=memcheck" "1!C40=12.5" "1!AA3=<&>"
check cells_edited 0 cells "$work/edited.xlsx"
expect_in "$work/cells_edited.out" "memcheck"
cp "$src/samples/Quarterly.xlsx" "$work/in-place.xlsx"
check set_in_place 0 set "$work/in-place.xlsx" "Staff!A1=again"

# Export in every format, one sheet and all sheets.
book=$src/samples/Quarterly.xlsx
for format in CSV Text HTML XMLSpreadsheet Word PDF; do
  check "export_$format" 0 export "$book" "$work/out-$format" --format "$format" --sheet 2
  [ -s "$work/out-$format" ] || fail "export $format wrote nothing"
  check "export_${format}_all" 0 export "$book" "$work/all-$format" --format "$format" --all
done
expect_in "$work/out-CSV" "Name"

# Import into a copy of each publication fixture, and through the driver into
# a copy of the open publication.
for pub in course-ansi course-utf8 course-utf16; do
  cp "$pubs/$pub.pub" "$work/$pub.pub"
  check "import_$pub" 0 import "$pubs/three-sheets-libreoffice.xlsx" "$work/$pub.pub" \
    --sheets "Summary|Notes"
done
/usr/bin/python3 - "$work" <<'EOF' || fail "an import wrote no grid page"
import codecs, sys
for name in ("course-ansi", "course-utf8", "course-utf16"):
    data = open(f"{sys.argv[1]}/{name}.pub", "rb").read()
    text = data.decode("utf-16") if data.startswith(codecs.BOM_UTF16_LE) else data.decode("latin-1")
    assert "ExcelGrid_" in text and "kvGridfoldOpen" in text, name
EOF
mkdir -p "$work/current"
cp "$pubs/course-ansi.pub" "$work/current/Course.pub"
check import_current 0 import --current "$pubs/three-sheets-libreoffice.xlsx" \
  --pubdir "$work/current" --pubtitle Course --sheets ALL
expect_in "$work/current/Course.kvGridfold.pub" "kvGridfoldOpen"

# Failing paths give everything back too: a damaged package, a missing sheet,
# a bad reference, an unknown format, folders that do not exist, a missing
# workbook for the import driver, sheets the workbook lacks.
head -c 3000 "$book" >"$work/truncated.xlsx"
check fail_truncated 1 info "$work/truncated.xlsx"
check fail_no_sheet 1 cells "$book" --sheet 9
check fail_bad_ref 1 set "$book" -o "$work/never.xlsx" "1!B0=x"
check fail_export_word 1 export "$book" "$work/never.out" --format Nope
cp "$pubs/course-ansi.pub" "$work/refused.pub"
# Damaged packages made from a real workbook: the inflater and the XML reader
# fail part-way, and whatever they set up must be released.
/usr/bin/python3 - "$book" "$work" <<'EOF'
import sys, zipfile
book, work = sys.argv[1], sys.argv[2]
src = zipfile.ZipFile(book)
parts = {i.filename: src.read(i.filename) for i in src.infolist()}
sheet = next(n for n in parts if n.startswith("xl/worksheets/"))

def write(name, change=lambda n, d: d):
    path = f"{work}/{name}.xlsx"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in parts.items():
            z.writestr(n, change(n, data))
    return path

# A worksheet's XML cut off in the middle of an element.
write("bad-xml", lambda n, d: d[: len(d) // 2] if n == sheet else d)
# The worksheet's deflate stream damaged in its middle (sizes and CRC kept).
path = write("bad-deflate")
data = bytearray(open(path, "rb").read())
at = data.find(sheet.encode()) + len(sheet) + 40
for i in range(at, at + 16):
    data[i] ^= 0x5A
open(path, "wb").write(bytes(data))
EOF
for damaged in bad-xml bad-deflate; do
  check "fail_$damaged" 1 cells "$work/$damaged.xlsx"
done
check fail_save_no_folder 1 set "$book" -o "$work/no/such/folder/x.xlsx" "1!A1=x"
check fail_pdf_no_folder 1 export "$book" "$work/no/such/folder/x.pdf" --format PDF
check fail_import_current 1 import --current "$work/no-such-book.xlsx" --pubdir "$work/current" \
  --pubtitle Course --sheets ALL
check fail_import_sheet 1 import "$pubs/three-sheets-libreoffice.xlsx" "$work/refused.pub" \
  --sheets "NoSuchSheet"

echo "valgrind_cli: $runs runs in $(($(date +%s) - start)) s, $failures failure(s)"
[ "$failures" -eq 0 ]
