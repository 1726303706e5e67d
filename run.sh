#!/usr/bin/env bash
# Installs what is missing, builds a Release build in build/ and starts the
# program: the desktop program when a display is available, otherwise
# vantrel-dump on the given files or on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
vantrel_install_packages "${VANTREL_BUILD_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build build

if [ -x build/vantrel ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec build/vantrel "$@"
fi
if [ $# -gt 0 ]; then
    exec build/vantrel-dump "$@"
fi
# The side files that analyses of compressed SWF samples leave are skipped.
samples=()
for f in samples/*; do
    case "$f" in *.decompress) ;; *) samples+=("$f") ;; esac
done
exec build/vantrel-dump "${samples[@]}"
