#!/usr/bin/env bash
# Installs what is missing, builds, and then runs the editor or the tests.
#
#   scripts/setup.sh run        install, build and start the editor
#   scripts/setup.sh test       install, build and run every test, in the
#                               users' locale es_CL.UTF-8 (generated as a
#                               system locale when it is missing)
#   scripts/setup.sh sanitize   install clang, build everything with
#                               AddressSanitizer and UndefinedBehaviorSanitizer
#                               in build-sanitize/, run every test there in
#                               the C locale, then each fuzz harness for 60
#                               seconds (two harnesses at a time)
#
# Debian packages are installed with apt-get (through sudo when not root).
# SOLVANTA_BENCH=OFF in the environment leaves the benchmarks (bench/) out of
# both builds, as CI does; unset, the build folder keeps its own choice (the
# benchmarks are built by default).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
# poppler-utils: the tests read the summary's PDF pages back with pdftotext.
packages=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core libxlsxwriter-dev zlib1g-dev libzip-dev pkg-config locales poppler-utils)
# clang 14 with its sanitizer and libFuzzer runtimes (libclang-rt-14-dev, only
# recommended by clang), and llvm-symbolizer (llvm-14) for readable stacks.
sanitize_packages=(clang libclang-rt-14-dev llvm-14)
sanitize_build="${SANITIZE_BUILD_DIR:-$here/build-sanitize}"
bench_option=()
[ -z "${SOLVANTA_BENCH:-}" ] || bench_option=(-DSOLVANTA_BENCH="$SOLVANTA_BENCH")

# shellcheck source=install-packages.sh
source "$here/scripts/install-packages.sh"

build_all() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${bench_option[@]}"
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
    # The tests run in the users' locale, installed as a system locale.
    ensure_locale es_CL.UTF-8
    build_all
    cd "$build"
    ctest --output-on-failure --parallel 2
    ;;
sanitize)
    install_missing "${packages[@]}" "${sanitize_packages[@]}"
    cmake -S "$here" -B "$sanitize_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DSOLVANTA_SANITIZE=ON -DSOLVANTA_FUZZ=ON \
        -DSOLVANTA_TEST_LOCALE=C.UTF-8 "${bench_option[@]}"
    cmake --build "$sanitize_build" --parallel 2
    (cd "$sanitize_build" && ctest --output-on-failure --parallel 2)
    SANITIZE_BUILD_DIR="$sanitize_build" "$here/scripts/fuzz.sh" 60
    ;;
*)
    echo "Uso: $0 run|test|sanitize" >&2
    exit 2
    ;;
esac
