#!/usr/bin/env bash
# Times the window's open of one playlist by two builds in turn, the first with transparent huge
# pages turned off for its process, and prints each pair, its ratio and the medians:
#
#     bench/open-pairs.sh BEFORE/bench/gui_bench build/bench/gui_bench list.m3u [rounds]
set -euo pipefail
[ $# -ge 3 ] || { sed -n 2,5p "$0" >&2; exit 64; }
before=$1 after=$2 list=$3 rounds=${4:-9}
here=$(dirname "$0")
export QT_QPA_PLATFORM=offscreen
for _ in $(seq "$rounds"); do
    b=$("$here/without-huge-pages.py" "$before" --window "$list" 2>/dev/null | cut -d' ' -f1)
    a=$("$after" --window "$list" 2>/dev/null | cut -d' ' -f1)
    echo "$b $a"
done | python3 -c '
import statistics, sys
pairs = [tuple(map(float, line.split())) for line in sys.stdin]
for b, a in pairs:
    print(f"{b:.0f} ms  {a:.0f} ms  {a / b:.2f}")
print("median: before %.0f ms, after %.0f ms, ratio %.2f" % (
    statistics.median(b for b, _ in pairs), statistics.median(a for _, a in pairs),
    statistics.median(a / b for b, a in pairs)))'
