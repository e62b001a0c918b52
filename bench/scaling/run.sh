#!/usr/bin/env bash
# Two converters against one (bench/README.md, "Two converters"): a Release build of quillon
# without the window, the 1,610 sources of tests/slurm/makeSources.py (copies of the public
# samples of at most 64 KB in nested folders) on a RAM file system, interleaved rounds.
#
#   bench/scaling/run.sh            (ROUNDS=n, COUNT=n, CORPUS=folder)
set -euo pipefail
cd "$(dirname "$0")/../.."
work=build-bench-scaling
CORPUS=${CORPUS:-../shared/corpus-public}
COUNT=${COUNT:-1610}
cmake -S . -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_WINDOW=OFF > /dev/null
cmake --build "$work" --target quillon > /dev/null
ram=$(test -d /dev/shm && echo /dev/shm || echo /tmp)
sources=$(mktemp -d "$ram/quillon-scaling-sources-XXXXXX")
trap 'rm -rf "$sources"' EXIT
python3 tests/slurm/makeSources.py "$CORPUS" "$sources/in" "$COUNT" > /dev/null
echo "$(git rev-parse --short HEAD); $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M');" \
     "load: $(cut -d' ' -f1-3 /proc/loadavg); outputs on $(stat -f -c %T "$ram")"
python3 bench/scaling/scalingBench.py --quillon "$work/quillon" --rounds "${ROUNDS:-9}" \
    "$sources/in"
