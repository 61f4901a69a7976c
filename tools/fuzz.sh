#!/usr/bin/env bash
# tools/fuzz.sh [--check] TARGET SECONDS: fuzzes one target (convert_fuzzer, document_fuzzer,
# pls_fuzzer, xspf_fuzzer) with libFuzzer under ASan and UBSan, starting from its corpus in
# tests/fuzz/corpus/TARGET and the samples in tests/data, and reports executions and coverage at
# the start and the end. Then it merges what it found into the corpus, kept minimal (-merge=1);
# with --check it leaves the corpus as it is. Any crash, sanitizer report or broken invariant
# fails it, with the input kept in build-fuzz/findings. Needs clang (tools/install-deps.sh does
# not install it; .ci/run does).
set -euo pipefail
cd "$(dirname "$0")/.."

merge=1
if [ "${1:-}" = --check ]; then
    merge=0
    shift
fi
if [ $# -ne 2 ]; then
    sed -n '2,8s/^# \?//p' "$0" >&2
    exit 2
fi
target=$1
seconds=$2
case "$target" in
convert_fuzzer) mapfile -t samples < <(find tests/data -type f | sort) ;;
document_fuzzer) samples=() ;;
pls_fuzzer) samples=(tests/data/*.pls tests/data/formats/*.pls) ;;
xspf_fuzzer) samples=(tests/data/*.xspf tests/data/formats/*.xspf) ;;
*)
    echo "tools/fuzz.sh: no target '$target'" >&2
    exit 2
    ;;
esac
corpus=tests/fuzz/corpus/$target
build="build-fuzz"

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSKALDRUN_FUZZ=ON -DSKALDRUN_SANITIZE=ON -DSKALDRUN_BUILD_GUI=OFF \
        -DSKALDRUN_BUILD_BENCH=OFF -DSKALDRUN_WERROR=ON >/dev/null
fi
cmake --build "$build" -j2 --target "$target" 2>&1 | { grep -v '^\[' || true; }
fuzzer=$build/tests/fuzz/$target

# The fuzzer writes what it finds into the first folder only: a scratch one, so that the corpus
# changes only through the merge.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/found" "$build/findings"
if [ ${#samples[@]} -gt 0 ]; then
    mkdir "$work/samples"
    for i in "${!samples[@]}"; do # numbered: samples of two folders may share a name
        cp "${samples[$i]}" "$work/samples/$i-${samples[$i]##*/}"
    done
fi
status=0
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$work/found" "$corpus" \
    ${samples:+"$work/samples"} >"$work/log" 2>&1 || status=$?

figures() { # the coverage figures of the log's first line of that kind
    { grep -m 1 "$1" "$work/log" || true; } | grep -o 'cov: [0-9]* ft: [0-9]*' || echo "cov: ? ft: ?"
}
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
last=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -n 1 || true)
echo "$target: ${seconds} s, ${runs:-?} executions, start $(figures INITED), end ${last:-cov: ? ft: ?}"
if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/log"
    echo "$target: failed; the input is in $build/findings" >&2
    exit 1
fi

if [ "$merge" -eq 1 ]; then
    # Seeds written by hand (not named by their hash) stay whatever their coverage: each keeps a
    # case that once went wrong. The merge adds only what reaches more.
    mkdir "$work/merged" "$work/old"
    for input in "$corpus"/*; do
        if [[ "$(basename "$input")" =~ ^[0-9a-f]{40}$ ]]; then
            cp "$input" "$work/old/"
        else
            cp "$input" "$work/merged/"
        fi
    done
    "$fuzzer" -merge=1 -rss_limit_mb=2048 -malloc_limit_mb=64 "$work/merged" "$work/old" \
        "$work/found" ${samples:+"$work/samples"} >"$work/merge.log" 2>&1 || {
        tail -n 20 "$work/merge.log"
        exit 1
    }
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp "$work/merged"/* "$corpus/"
    echo "$target: corpus of $(ls "$corpus" | wc -l) inputs, $(cat "$corpus"/* | wc -c) bytes"
fi
