#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a given time.
# Usage: tests/fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Findings go to tests/fuzz/out/<target>/; the working corpus to
# tests/fuzz/out/<target>/corpus, seeded from samples/ and tests/corpus/.
# Every finding (crash, undefined behaviour, leak, time-out, memory) is also
# kept in tests/corpus/ as regress-<target>-<kind>-<hash>, made into the file
# the target analysed, and the script then ends with status 1. Every target
# runs its time whatever an earlier one did.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
build=build-fuzz
# Line tables are all a finding's stack needs, and compile faster than full
# debug information.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF -DVANTREL_GUI=OFF >/dev/null
cmake --build "$build"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for t in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$t")"); done
fi
seeds=()
for f in samples/* tests/corpus/*; do
    case "$f" in *.md|*.py|*.decompress) ;; *) [ -f "$f" ] && seeds+=("$f") ;; esac
done
# Undefined behaviour aborts (the build does not recover from it) and is kept
# as a crash like any other.
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=abort_on_error=1

# Keeps a finding in tests/corpus/ as the file that the target analysed: the
# detailed targets put a signature in front of (or in place of the first
# byte of) their input.
keep_finding() {
    local target=$1 artifact=$2 file first
    file=tests/corpus/regress-${target#fuzz_}-$(basename "$artifact")
    first=$(( $(od -An -tu1 -N1 "$artifact" || echo 0) & 3 ))
    case "$target" in
    fuzz_detailed_jpeg) file=$file.jpg; { printf '\xff\xd8'; cat "$artifact"; } >"$file" ;;
    fuzz_detailed_tiff) file=$file.tif; { [ $(( first & 1 )) -eq 1 ] && printf 'MM' || printf 'II'; tail -c +2 "$artifact"; } >"$file" ;;
    fuzz_detailed_swf)
        file=$file.swf
        case $first in
        2) printf 'ZWS' ;;
        1|3) printf 'CWS' ;;
        *) printf 'FWS' ;;
        esac >"$file"
        tail -c +2 "$artifact" >>"$file" ;;
    fuzz_detailed_png) file=$file.png
        if [ "$(head -c 8 "$artifact" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then cp "$artifact" "$file"
        else { printf '\x89PNG\r\n\x1a\n'; cat "$artifact"; } >"$file"; fi ;;
    fuzz_detailed_gif)
        file=$file.gif
        case "$(head -c 6 "$artifact")" in
        GIF87a|GIF89a) cp "$artifact" "$file" ;;
        *) { [ $(( first & 1 )) -eq 1 ] && printf 'GIF89a' || printf 'GIF87a'; tail -c +2 "$artifact"; } >"$file" ;;
        esac ;;
    *) cp "$artifact" "$file" ;;
    esac
    echo "kept as $file"
}

found=0
for t in "${targets[@]}"; do
    out=tests/fuzz/out/$t
    mkdir -p "$out/corpus"
    cp -n "${seeds[@]}" "$out/corpus/" 2>/dev/null || true
    dict=()
    name=${t#fuzz_}; name=${name#detailed_}
    [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
    # The per-input time limit: five times the slowest seed, at least 10 s
    # (a 1 MB photo takes the detailed JPEG target about 2 s on a loaded
    # 2-core machine).
    slowest=$("$build/fuzz/$t" "${seeds[@]}" 2>&1 | sed -nE 's/^Executed .* in ([0-9]+) ms$/\1/p' | sort -n | tail -n 1 || true)
    limit=$(( (${slowest:-0} * 5 + 999) / 1000 ))
    [ "$limit" -lt 10 ] && limit=10
    echo "== $t for $seconds s (slowest seed ${slowest:-?} ms, limit $limit s per input)"
    touch "$out/started"
    status=0
    "$build/fuzz/$t" "$out/corpus" "${dict[@]}" -max_total_time="$seconds" -timeout="$limit" -rss_limit_mb=2048 \
        -max_len=1048576 -artifact_prefix="$out/" -print_final_stats=1 >"$out/log.txt" 2>&1 || status=$?
    # The last status line (executions, coverage, corpus) and the final stats.
    grep -E '^#[0-9]+' "$out/log.txt" | tail -n 1 || echo "(no status line)"
    grep -E '^(stat::|Done|==[0-9]+==|SUMMARY)' "$out/log.txt" || true
    findings=$(find "$out" -maxdepth 1 -type f -newer "$out/started" -regex '.*/\(crash\|timeout\|oom\|leak\|slow-unit\)-.*' || true)
    if [ -n "$findings" ]; then
        found=1
        for artifact in $findings; do echo "finding: $artifact"; keep_finding "$t" "$artifact"; done
    elif [ "$status" -ne 0 ]; then
        found=1
        echo "$t ended with status $status without a finding; see $out/log.txt"
    else
        echo "no findings"
    fi
done
exit "$found"
