#!/usr/bin/env bash
# Times the source search against `find ROOT -iname '*.ppt?'` on the same generated tree, in the
# same run: 100,000 files in 1,000 folders (a three-level tree), 10% of them named *.ppt?.
#
#   bench/search/run.sh SEARCH_BENCH [ROOT]
#
# SEARCH_BENCH is the built driver (make bench-search builds it). ROOT defaults to a folder under
# /tmp; a tree generated earlier is reused. Each command runs once to warm the cache (the counts
# below), then both run RUNS times, alternating; the median wall times of the whole processes
# are compared.
set -euo pipefail

driver=${1:?usage: run.sh SEARCH_BENCH [ROOT]}
root=${2:-${TMPDIR:-/tmp}/quillon-search-bench}
runs=${RUNS:-7}

python3 "$(dirname "$0")/makeTree.py" "$root"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Wall time in nanoseconds of one run of a command.
elapsed() {
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    echo $(( end - start ))
}

# Median in seconds of the numbers on standard input.
median() {
    sort -n | awk '{ t[NR] = $1 } END { printf "%.4f", t[int((NR + 1) / 2)] / 1e9 }'
}

found=$("$driver" "$root/*.ppt?" "$out/")
listed=$(find "$root" -iname '*.ppt?' | wc -l)
# The two alternate, so that a busy moment of the machine weighs on both alike.
find_times=()
search_times=()
for _ in $(seq "$runs"); do
    find_times+=("$(elapsed find "$root" -iname '*.ppt?')")
    search_times+=("$(elapsed "$driver" "$root/*.ppt?" "$out/")")
done
t_find=$(printf '%s\n' "${find_times[@]}" | median)
t_search=$(printf '%s\n' "${search_times[@]}" | median)
ratio=$(awk -v a="$t_search" -v b="$t_find" 'BEGIN { printf "%.2f", a / b }')
echo "tree:   $root (100000 files, 1000 folders)"
echo "search: $found; median of $runs runs $t_search s"
echo "find:   $listed files; median of $runs runs $t_find s"
echo "ratio:  $ratio (search / find; the goal is at most 1.5)"
