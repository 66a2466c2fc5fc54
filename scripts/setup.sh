#!/usr/bin/env bash
# Installs what is missing, builds, and then runs the editor or the tests.
#
#   scripts/setup.sh run    install, build and start the editor
#   scripts/setup.sh test   install, build and run every test
#
# Debian packages are installed with apt-get (through sudo when not root).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
packages=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core libxlsxwriter-dev zlib1g-dev)

install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Instalando: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

build_all() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build" --parallel
}

case "${1:-}" in
run)
    install_missing
    build_all
    exec "$build/src/solvanta-editor"
    ;;
test)
    install_missing
    build_all
    cd "$build"
    ctest --output-on-failure --parallel 2
    ;;
*)
    echo "Uso: $0 run|test" >&2
    exit 2
    ;;
esac
