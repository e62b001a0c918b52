#!/usr/bin/env bash
# The converter on a real Dask cluster (cluster/dask-convert.py): installs Debian's
# python3-distributed when it is missing, converts a few thousand files in 6 shares on a
# LocalCluster of 2 worker processes, kills the worker of one share in the middle of its run
# (SIGKILL: Dask runs the share again, after the converter it left has finished its file), and
# checks that every source was converted exactly once, by the share its path names, into text
# byte-identical to a one-process run, with the merge finding no source without a record. Says
# how long Dask took against one process on the same files.
#
#   tests/dask/run.sh [path/to/quillon]      (default build/quillon)
#
# DASK_TEST_FILES sets the number of files (default 3000); DASK_TEST_KEEP=1 keeps the scratch
# folder.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
quillon=$(realpath "${1:-$repo/build/quillon}")
corpus=${QUILLON_PUBLIC_CORPUS:-$repo/../shared/corpus-public}
files=${DASK_TEST_FILES:-3000}
shards=6
started=$SECONDS

# Seconds since a time taken from EPOCHREALTIME, and the ratio of two such spans.
since() { /usr/bin/python3 -c 'import sys; print(f"{float(sys.argv[2]) - float(sys.argv[1]):.1f}")' "$1" "$EPOCHREALTIME"; }

say() { printf '[dask test %3ds] %s\n' $((SECONDS - started)) "$*"; }
fail() {
    say "FAILED: $*"
    exit 1
}

[ -x "$quillon" ] || fail "no program at $quillon"
[ -d "$corpus" ] || fail "no sample files at $corpus"
# Debian's Python, whatever python3 comes first on the PATH: the one python3-distributed is for.
if ! /usr/bin/python3 -c 'import distributed' 2>/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        python3-distributed >/dev/null
fi

work=$(mktemp -d /tmp/quillon-dask.XXXXXX)
driver=""
finish() {
    local status=$?
    [ -n "$driver" ] && kill "$driver" 2>/dev/null
    if [ "${DASK_TEST_KEEP:-0}" = 1 ]; then say "kept $work"; else rm -rf "$work"; fi
    exit "$status"
}
trap finish EXIT

say "making $files sources"
python3 "$repo/tests/slurm/makeSources.py" "$corpus" "$work/in" "$files" >"$work/sources.txt"
# The project as a user writes it, with paths relative to its folder; the driver runs from
# another folder.
printf 'SourceList=sources.txt\r\nSourceRoot=in\r\nTarget=out\r\n' >"$work/job.batch-quillon"
printf 'Source=%s\r\nSubdir=True\r\nTarget=%s\r\nThreadsCount=2\r\nPureConsole=1\r\nJsonLog=%s\r\n' \
    "$work/in/*.ppt?" "$work/ref" "$work/ref.jsonl" >"$work/ref.batch-quillon"

say "one process, 2 converters, for the reference"
one=$EPOCHREALTIME
"$quillon" "$work/ref.batch-quillon" 2>"$work/ref.err" || fail "the reference run failed"
one=$(since "$one")
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --phase shares \
    >"$work/shares.txt"

say "dask-convert.py: $shards shares on a LocalCluster of 2 workers"
mkdir "$work/elsewhere"
dask=$EPOCHREALTIME
(cd "$work/elsewhere" && exec /usr/bin/python3 "$repo/cluster/dask-convert.py" --shards "$shards" \
    --local-workers 2 --threads 1 --logs ../logs --quillon "$quillon" ../job.batch-quillon) \
    >"$work/dask.out" 2>"$work/dask.err" &
driver=$!

# Kill the worker of the first share seen with some of its files done and at least half left.
read -r killed worker < <(/usr/bin/python3 "$repo/tests/dask/killBusyWorker.py" "$work" "$driver") ||
    true
[ -n "${killed:-}" ] || fail "no share was caught in the middle of its run"
say "killed the worker (pid $worker) of share $killed"
status=0
wait "$driver" || status=$?
driver=""
dask=$(since "$dask")
grep -v "$(printf '\t')" "$work/dask.out"  # the lines of failed sources left out
# Some samples are damaged on purpose: the merge lists them and ends with 1.
[ "$status" -eq 1 ] || { cat "$work/dask.err"; fail "dask-convert.py ended with $status"; }
grep -q "sources expected: 0 without a record" "$work/dask.out" ||
    fail "the merge found sources without a record"
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --cancelled "$killed" \
    --phase final || fail "the converted files do not add up"
if grep -l "Sanitizer\|runtime error" "$work"/logs/task-*.out; then fail "a sanitizer spoke"; fi
say "passed: Dask $dask s, one process $one s (ratio" \
    "$(python3 -c "print(f'{$dask / $one:.2f}')")), load $(cut -d' ' -f1-3 /proc/loadavg)"
