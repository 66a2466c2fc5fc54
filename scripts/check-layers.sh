#!/usr/bin/env bash
# Checks that the folders of src/ are the program's layers: a file includes
# only headers of its own folder or of folders below it, and the engine uses
# no window classes. The order, lowest first:
#
#   engine/util  engine/model  engine/codes  engine/files
#   ui/widgets   ui/help       ui/codes      ui/editor     ui/listing  ui/app
#
#   scripts/check-layers.sh [SRC]     (src/ beside this script when not given)
set -euo pipefail

src="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/src}"
layers=(engine/util engine/model engine/codes engine/files
        ui/widgets ui/help ui/codes ui/editor ui/listing ui/app)

rank() {
    local i
    for i in "${!layers[@]}"; do
        [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}

faults=0
for i in "${!layers[@]}"; do
    folder="$src/${layers[$i]}"
    [ -d "$folder" ] || { echo "falta la carpeta ${layers[$i]}" >&2; faults=1; continue; }
    while IFS= read -r hit; do
        file="${hit%%:*}"
        header="$(sed 's/.*#include "\([^"]*\)".*/\1/' <<<"$hit")"
        [[ "$header" == */* ]] || continue
        target="$(cut -d/ -f1-2 <<<"$header")"
        r="$(rank "$target")"
        if [ "$r" -lt 0 ] || [ "$r" -gt "$i" ]; then
            echo "${file#"$src"/}: incluye $header, de una capa superior (${target})" >&2
            faults=1
        fi
    done < <(grep -Hn '#include "' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
# The engine knows nothing of windows.
if grep -rn -E '#include <Qt(Widgets|Gui)|#include <Q(Widget|Dialog|MainWindow|Application|Action|Menu|Label|PushButton)>' \
    "$src/engine" >&2; then
    echo "el motor (src/engine) incluye clases de ventanas" >&2
    faults=1
fi
# Every source file stands in a layer.
while IFS= read -r f; do
    rel="${f#"$src"/}"
    folder="$(dirname "$rel")"
    [ "$(rank "$folder")" -ge 0 ] || { echo "$rel está fuera de las capas" >&2; faults=1; }
done < <(find "$src" -name '*.cpp' -o -name '*.h')
exit "$faults"
