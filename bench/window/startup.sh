#!/usr/bin/env bash
# What the window costs a run that shows none: start-up time and peak memory of an empty
# unattended run, this tree against the last commit before the window (f238d9b), both Release
# builds made here, on the same machine in the same run.
#
#   bench/window/startup.sh [BASE_COMMIT]
#
# Needs hyperfine and GNU time (make bench-window-startup installs them).
set -euo pipefail
cd "$(dirname "$0")/../.."
base=${1:-f238d9b}
work=build-bench-window
runs=${RUNS:-60}

if [ ! -x "$work/base/quillon" ]; then
    rm -rf "$work/base-src"
    mkdir -p "$work/base-src"
    git archive "$base" | tar -x -C "$work/base-src"
    cmake -S "$work/base-src" -B "$work/base" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
    cmake --build "$work/base" --target quillon
fi
cmake -S . -B "$work/head" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$work/head" --target quillon quillon-window

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/empty" "$tmp/before" "$tmp/after"
# Each program keeps its usage store beside itself: give each its own folder.
cp "$work/base/quillon" "$tmp/before/quillon"
cp "$work/head/quillon" "$work/head/quillon-window.so" "$tmp/after/"
args="-P:Source=$tmp/empty/*.ppt?,Target=$tmp/out,PureConsole=1"

hyperfine -N --warmup 10 --runs "$runs" --export-json "$tmp/times.json" \
    -n before "$tmp/before/quillon $args" -n after "$tmp/after/quillon $args" > "$tmp/hyperfine.txt"
cat "$tmp/hyperfine.txt"

# Peak resident memory (kB) of each, the median of 15 runs.
peak() {
    for _ in $(seq 15); do
        /usr/bin/time -f %M "$1" "$args" 2>&1 >/dev/null | tail -1
    done | sort -n | awk '{ m[NR] = $1 } END { print m[int((NR + 1) / 2)] }'
}
rss_before=$(peak "$tmp/before/quillon")
rss_after=$(peak "$tmp/after/quillon")

python3 - "$tmp/times.json" "$rss_before" "$rss_after" <<'PY'
import json, sys
runs = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
b, a = runs["before"], runs["after"]
rb, ra = int(sys.argv[2]), int(sys.argv[3])
print(f"start-up, mean (median): before {b['mean']*1000:.2f} ms ({b['median']*1000:.2f}), "
      f"after {a['mean']*1000:.2f} ms ({a['median']*1000:.2f}); "
      f"ratio {a['mean']/b['mean']:.2f} (median {a['median']/b['median']:.2f}; goal at most 1.5)")
print(f"peak memory, median of 15: before {rb/1024:.1f} MB, after {ra/1024:.1f} MB; "
      f"ratio {ra/rb:.2f} (goal at most 1.5)")
PY
