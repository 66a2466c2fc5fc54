#!/usr/bin/env bash
# Makes tests/data/calc-editado.xlsx, a workbook as LibreOffice Calc saves
# it after a clerk corrected an export: the lines of
# tests/data/dos-lineas-coma.txt exported with "export", opened in Calc
# (through a .csv, as Calc reads one: codes and periods lose their zeros,
# dates become dates), two cells changed — line 1's [3] Apellido Paterno to
# "CALC EDITADO", line 2's [27] Impo. afp to 777777 — and saved as .xlsx.
# Needs LibreOffice Calc (libreoffice-calc-nogui) and Python 3; runs in the
# users' locale, es_CL.UTF-8.
#
#   bench/make-calc-fixture.sh [BUILD_DIR]     (default: build)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-build}"
case "$build" in /*) ;; *) build="$here/$build" ;; esac
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=es_CL.UTF-8 HOME="$tmp"

"$build/src/solvanta-editor" export --from position "$here/tests/data/dos-lineas-coma.txt" \
    "$tmp/export.xlsx"
# ";" separated, '"' quoted, UTF-8.
soffice --headless --convert-to 'csv:Text - txt - csv (StarCalc):59,34,76,1' --outdir "$tmp" \
    "$tmp/export.xlsx" >/dev/null
python3 - "$tmp/export.csv" "$tmp/calc-editado.csv" <<'EOF'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8"), delimiter=";"))
titles = rows[0]
rows[1][titles.index("[3]Apellido Paterno")] = "CALC EDITADO"
rows[2][titles.index("[27]Impo. afp")] = "777777"
with open(sys.argv[2], "w", encoding="utf-8", newline="") as out:
    csv.writer(out, delimiter=";", lineterminator="\n").writerows(rows)
EOF
soffice --headless --infilter='CSV:59,34,76,1' --convert-to xlsx --outdir "$tmp" \
    "$tmp/calc-editado.csv" >/dev/null
cp "$tmp/calc-editado.xlsx" "$here/tests/data/calc-editado.xlsx"
echo "tests/data/calc-editado.xlsx: $(stat -c %s "$here/tests/data/calc-editado.xlsx") bytes"
