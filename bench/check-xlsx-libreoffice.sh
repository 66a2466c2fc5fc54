#!/usr/bin/env bash
# Checks the spreadsheet export against LibreOffice Calc: generates a
# declaration file, exports it to .xlsx, lets Calc convert the workbook to
# CSV and compares that, field by field, with the same lines in separator
# form. Text fields must come back identical; number fields may only differ
# in how the same number is written ("1,5" and "1.5"). The title row of each
# worksheet is skipped. Not part of the tests: it needs LibreOffice. It runs
# in the users' locale, es_CL.UTF-8 installed as a system locale (generated
# when missing; SOLVANTA_LOCALE names another), where the C library writes
# a decimal comma: the generated file, the export and Calc all run in it.
#
#   bench/check-xlsx-libreoffice.sh [--lines N] [--dir DIR] [--reference PROGRAM] [BUILD_DIR]
#
#   BUILD_DIR            the build folder (default: build)
#   --lines N            lines to generate (default: 2000)
#   --dir DIR            work folder, kept afterwards (default: a temporary one)
#   --reference PROGRAM  export with "PROGRAM separador.csv libro.xlsx" instead
#                        of the editor's "export --from position"
#
# Missing Debian packages (LibreOffice Calc without its windows, Python 3)
# are installed with apt-get, through sudo when not root. Exit status 0 when
# no field differs.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
lines=2000
dir=""
reference=""
build="build"
while [ $# -gt 0 ]; do
    case "$1" in
    --lines) lines="$2"; shift 2 ;;
    --dir) dir="$2"; shift 2 ;;
    --reference) reference="$2"; shift 2 ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "Opción desconocida: $1" >&2; exit 2 ;;
    *) build="$1"; shift ;;
    esac
done
case "$build" in /*) ;; *) build="$here/$build" ;; esac

# shellcheck source=../scripts/install-packages.sh
source "$here/scripts/install-packages.sh"
command -v soffice >/dev/null || install_missing libreoffice-calc-nogui
command -v python3 >/dev/null || install_missing python3
locale_name="${SOLVANTA_LOCALE:-es_CL.UTF-8}"
install_missing locales
ensure_locale "$locale_name"
export LC_ALL="$locale_name" LANG="$locale_name"
echo "Configuración regional: $LC_ALL"

bench="$build/bench/solvanta-bench"
editor="$build/src/solvanta-editor"
for exe in "$bench" ${reference:+"$reference"}; do
    [ -x "$exe" ] || { echo "No existe $exe (¿compilado?)" >&2; exit 2; }
done
[ -n "$reference" ] || [ -x "$editor" ] || { echo "No existe $editor (¿compilado?)" >&2; exit 2; }

if [ -z "$dir" ]; then
    dir="$(mktemp -d)"
    trap 'rm -rf "$dir"' EXIT
fi
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

echo "Generando $lines líneas en $dir"
"$bench" --lines "$lines" --runs 1 --dir "$dir" >"$dir/bench.log" 2>&1 ||
    { cat "$dir/bench.log" >&2; exit 1; }

workbook="$dir/libro.xlsx"
rm -f "$workbook"
if [ -n "$reference" ]; then
    "$reference" "$dir/separador.csv" "$workbook"
else
    "$editor" export --from position "$dir/posicion.txt" "$workbook"
fi

# Every worksheet to its own CSV (sheet -1), ";" between fields, UTF-8. A
# profile of its own keeps Calc away from any running instance and settings.
csvdir="$dir/calc"
rm -rf "$csvdir"
mkdir -p "$csvdir"
soffice -env:UserInstallation="file://$dir/calc-profile" --headless \
    --convert-to 'csv:Text - txt - csv (StarCalc):59,34,76,1,,,,,,,,-1' \
    --outdir "$csvdir" "$workbook" >"$dir/soffice.log" 2>&1 ||
    { cat "$dir/soffice.log" >&2; exit 1; }

iconv -f WINDOWS-1252 -t UTF-8 "$dir/separador.csv" >"$dir/separador-utf8.csv"

python3 - "$here/src/model/FieldTable.cpp" "$workbook" "$csvdir" "$dir/separador-utf8.csv" <<'EOF'
import csv, glob, os, re, sys, zipfile
import xml.etree.ElementTree as ET

table, workbook, csvdir, expected_path = sys.argv[1:5]

# Which fields hold text, from the program's field table.
kinds = re.findall(r'\{(\d+), "[^"]*", Kind::(\w+)', open(table, encoding="utf-8").read())
if len(kinds) != 105:
    sys.exit(f"{table}: found {len(kinds)} fields, not 105")
is_text = {int(n): k == "Text" for n, k in kinds}

# Worksheets in workbook order; Calc names each CSV after the book and sheet.
ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
with zipfile.ZipFile(workbook) as z:
    names = [s.get("name") for s in ET.fromstring(z.read("xl/workbook.xml")).find("m:sheets", ns)]
base = os.path.splitext(os.path.basename(workbook))[0]
files = [os.path.join(csvdir, f"{base}-{n}.csv") for n in names]
if len(names) == 1 and not os.path.exists(files[0]):
    files = [os.path.join(csvdir, f"{base}.csv")]  # a single sheet keeps the book's name
missing = [f for f in files if not os.path.exists(f)]
if missing:
    sys.exit(f"Calc wrote no {', '.join(missing)} (found: {os.listdir(csvdir)})")

got = []
for f in files:
    with open(f, encoding="utf-8", newline="") as fh:
        got.extend(list(csv.reader(fh, delimiter=";", quotechar='"'))[1:])  # minus the titles

with open(expected_path, encoding="utf-8", newline="") as fh:
    expected = [l.rstrip("\r\n").split(";") for l in fh.read().splitlines()]

plain = re.compile(r"-?\d+(?:[.,]\d+)?")

def number(s):
    try:
        return float(s.replace(",", "."))
    except ValueError:
        return None

def same(field, want, have):
    if want == have:
        return True
    if is_text[field] or not plain.fullmatch(want):
        return False
    a, b = number(want), number(have)
    return a is not None and b is not None and abs(a - b) <= 1e-9 * max(1.0, abs(a))

diffs = []
fields = 0
for i in range(max(len(expected), len(got))):
    if i >= len(expected) or i >= len(got):
        diffs.append(f"line {i + 1}: only in {'Calc' if i >= len(expected) else 'the file'}")
        continue
    want, have = expected[i], got[i]
    if len(want) != 105:
        diffs.append(f"line {i + 1}: the file has {len(want)} fields")
    extra = [c for c in have[105:] if c != ""]
    if extra:
        diffs.append(f"line {i + 1}: Calc has cells past field 105: {extra[:3]}")
    for f in range(1, 106):
        w = want[f - 1] if f <= len(want) else ""
        h = have[f - 1] if f <= len(have) else ""
        fields += 1
        if not same(f, w, h):
            kind = "text" if is_text[f] else "number"
            diffs.append(f"line {i + 1}, field {f} ({kind}): file {w!r}, Calc {h!r}")

print(f"worksheets: {len(names)} ({', '.join(names)})")
print(f"lines compared: {min(len(expected), len(got))} (file {len(expected)}, Calc {len(got)})")
print(f"fields compared: {fields}")
print(f"differences: {len(diffs)}")
for d in diffs[:10]:
    print("  " + d)
if len(diffs) > 10:
    print(f"  ... and {len(diffs) - 10} more")
sys.exit(1 if diffs else 0)
EOF
