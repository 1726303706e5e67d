#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a given time.
# Usage: tests/fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Findings go to tests/fuzz/out/<target>/; the working corpus to
# tests/fuzz/out/<target>/corpus, seeded from samples/ and tests/corpus/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF -DVANTREL_GUI=OFF >/dev/null
cmake --build "$build"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for t in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$t")"); done
fi
for t in "${targets[@]}"; do
    out=tests/fuzz/out/$t
    mkdir -p "$out/corpus"
    cp -n samples/* tests/corpus/* "$out/corpus/" 2>/dev/null || true
    dict=()
    name=${t#fuzz_}; name=${name#detailed_}
    [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
    echo "== $t for $seconds s"
    "$build/fuzz/$t" "$out/corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 \
        -max_len=1048576 -artifact_prefix="$out/" -print_final_stats=1 >"$out/log.txt" 2>&1 || true
    # The last status line (executions, coverage, corpus) and the final stats.
    grep -E '^#[0-9]+' "$out/log.txt" | tail -n 1
    grep -E '^(stat::|Done|==[0-9]+==|SUMMARY)' "$out/log.txt" || true
    ls "$out" | grep -E '^(crash|timeout|oom|leak|slow-unit)-' || echo "no findings"
done
