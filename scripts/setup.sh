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

# shellcheck source=install-packages.sh
source "$here/scripts/install-packages.sh"

build_all() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build" --parallel
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    build_all
    exec "$build/src/solvanta-editor"
    ;;
test)
    install_missing "${packages[@]}"
    build_all
    cd "$build"
    ctest --output-on-failure --parallel 2
    ;;
*)
    echo "Uso: $0 run|test" >&2
    exit 2
    ;;
esac
