#!/usr/bin/env bash
# Installs what is missing, builds, runs every test, then runs the tests once
# more in a build with AddressSanitizer and UndefinedBehaviorSanitizer, the
# decoders' and the parallel batch's tests in a build with ThreadSanitizer,
# and ends with a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
vantrel_install_packages "${VANTREL_BUILD_PACKAGES[@]}" "${VANTREL_TEST_PACKAGES[@]}"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# The sanitizer builds keep line tables only: their reports name files and
# lines, and they compile a quarter faster than with full debug information.
lines_only=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The desktop program's tests ran in the Release build; the sanitizers take
# the analyses, decoders, shells and vantrel-dump, which is where file data
# is read.
echo "== Sanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" -DVANTREL_SANITIZE=ON \
    -DVANTREL_BENCH=OFF -DVANTREL_GUI=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE slow

# The decoders spread pictures over threads: their tests run once more with
# ThreadSanitizer (address randomisation off, which older ThreadSanitizer
# runtimes need on newer kernels).
echo "== ThreadSanitizer build and the decoders' tests"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines_only[@]}" -DVANTREL_TSAN=ON \
    -DVANTREL_BENCH=OFF -DVANTREL_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target test_codec test_image test_jpeg test_tiff test_cli
norandom=(setarch "$(uname -m)" -R)
"${norandom[@]}" true 2>/dev/null || norandom=()   # where the system refuses it
# The large pictures' tests decode 90 and 144 million pixels: their threads
# are those of every picture of their kind, which the other tests cover.
for t in test_codec test_image test_jpeg test_tiff; do
    TSAN_OPTIONS=halt_on_error=1 "${norandom[@]}" "build-tsan/tests/$t" --gtest_brief=1 \
        --gtest_filter='-PictureMemory.LargeTiledPictureIsDrawnReducedWithinABound:JpegReducedPicture.PictureBeyondTheDefaultBudgetIsDrawnReduced'
done
# vantrel-dump's files analysed side by side.
TSAN_OPTIONS=halt_on_error=1 "${norandom[@]}" build-tsan/tests/test_cli --gtest_brief=1 --gtest_filter='DumpJobs.*'

# A short run of every fuzz target (clang, with both sanitizers) catches a new
# crash early; the long campaign is tests/fuzz/run.sh with a longer time.
# Findings are kept in tests/corpus/ and fail the run.
echo "== Fuzzing, 3 s a target"
tests/fuzz/run.sh 3
