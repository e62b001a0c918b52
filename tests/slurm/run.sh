#!/usr/bin/env bash
# The converter on a real one-node Slurm cluster: installs Debian's Slurm and MUNGE when they are
# missing, starts munged, slurmctld and slurmd by hand (no systemd) on private ports with every
# file in a scratch folder, converts a few thousand files with a job array of 4 tasks
# (cluster/quillon-array.sbatch), cancels one task in the middle of its run, requeues it, and
# checks that every source was converted exactly once, by the task its share names, into text
# byte-identical to a one-process run. Stops the daemons by their process ids at the end,
# whatever happened.
#
#   tests/slurm/run.sh [path/to/quillon]      (default build/quillon)
#
# SLURM_TEST_FILES sets the number of files (default 5000); SLURM_TEST_KEEP=1 keeps the scratch
# folder.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
quillon=$(realpath "${1:-$repo/build/quillon}")
corpus=${QUILLON_PUBLIC_CORPUS:-$repo/../shared/corpus-public}
files=${SLURM_TEST_FILES:-5000}
shards=4
started=$SECONDS

say() { printf '[slurm test %3ds] %s\n' $((SECONDS - started)) "$*"; }
fail() {
    say "FAILED: $*"
    exit 1
}

[ -x "$quillon" ] || fail "no program at $quillon"
[ -d "$corpus" ] || fail "no sample files at $corpus"

. "$repo/tests/slurm/oneNode.sh"
slurm_install

work=$(mktemp -d /tmp/quillon-slurm.XXXXXX)
chmod 755 "$work"
mkdir -p "$work"/{logs,out,ref}

finish() {
    local status=$?
    slurm_stop "$work"
    if [ "$status" -ne 0 ]; then
        for log in slurmctld.log slurmd.log; do
            [ -f "$work/$log" ] && { echo "--- last lines of $log"; tail -n 15 "$work/$log"; }
        done
    fi
    if [ "${SLURM_TEST_KEEP:-0}" = 1 ]; then say "kept $work"; else rm -rf "$work"; fi
    exit "$status"
}
trap finish EXIT

say "starting munged, slurmctld and slurmd"
slurm_start "$work" || fail "Slurm did not start"

say "making $files sources"
python3 "$repo/tests/slurm/makeSources.py" "$corpus" "$work/in" "$files" >"$work/sources.txt"

# The task's share of the work, and its project: the options that a user's project holds.
printf 'Source=%s\r\nSubdir=True\r\nTarget=%s\r\nIsOverwrite=skip\r\nThreadsCount=1\r\n' \
    "$work/in/*.ppt?" "$work/out" >"$work/array.batch-quillon"
printf 'Source=%s\r\nSubdir=True\r\nTarget=%s\r\nThreadsCount=2\r\nPureConsole=1\r\nJsonLog=%s\r\n' \
    "$work/in/*.ppt?" "$work/ref" "$work/ref.jsonl" >"$work/ref.batch-quillon"

say "one process, 2 converters, for the reference"
"$quillon" "$work/ref.batch-quillon" || fail "the reference run failed"

# How many sources each task has, by the share the driver computes.
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --phase shares \
    >"$work/shares.txt"

say "submitting an array of $shards tasks"
export QUILLON="$quillon"
job=$(sbatch --parsable --array=0-$((shards - 1)) --cpus-per-task=1 --chdir="$work" \
    --output="$work/task-%a.out" "$repo/cluster/quillon-array.sbatch" \
    "$work/array.batch-quillon" "$shards" "$work/logs")
job=${job%%;*}


# Cancel the first task seen with some of its files done and at least half left. The logs are
# watched rather than squeue: a record is on disk the moment its file is done, and one wc over
# all of them keeps the look quick.
cancelled=""
for _ in $(seq 6000); do
    read -r task done_count < <(cd "$work/logs" 2>/dev/null && wc -l task-*.jsonl 2>/dev/null |
        awk -v shares="$(tr '\n' ' ' <"$work/shares.txt")" '
            BEGIN { n = split(shares, s, " "); for (i = 1; i < n; i += 2) share[s[i]] = s[i + 1] }
            $2 ~ /^task-[0-9]+\.jsonl$/ {
                t = $2; sub(/^task-/, "", t); sub(/\.jsonl$/, "", t)
                if ($1 >= 5 && $1 < share[t] / 2) { print t, $1; exit }
            }') || true
    if [ -n "${task:-}" ]; then
        scancel "${job}_$task"
        cancelled=$task
        say "cancelled task $task after $done_count of its $(awk -v t="$task" '$1 == t {print $2}' \
            "$work/shares.txt") files"
        break
    fi
    sleep 0.01
done
[ -n "$cancelled" ] || fail "no task was caught in the middle of its run"

wait_for_array() {
    for _ in $(seq 900); do
        [ -z "$(squeue -h -j "$job" -o %i 2>/dev/null)" ] && return 0
        sleep 0.2
    done
    fail "the array did not end in 3 minutes"
}
wait_for_array
say "array ended; checking the first attempts"
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --cancelled "$cancelled" \
    --phase first || fail "the first attempts do not add up"

say "requeueing task $cancelled"
scontrol requeue "${job}_$cancelled"
# A requeued job waits for its begin time (about two minutes); start it now.
scontrol update jobid="${job}_$cancelled" StartTime=now
wait_for_array
say "checking all attempts"
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --cancelled "$cancelled" \
    --phase final || fail "the converted files do not add up"
# Some of the samples are damaged on purpose: every task's last attempt ends with 3 (files
# failed) under ExitCodes=strict, which Slurm records; a sanitizer's report would be in the
# task's output.
for task in $(seq 0 $((shards - 1))); do
    status=$(grep "_job_complete: JobId=${job}_${task}(" "$work/slurmctld.log" |
        grep -o 'WEXITSTATUS [0-9]*' | tail -n 1)
    [ "$status" = "WEXITSTATUS 3" ] || fail "task $task ended with ${status:-no exit status}"
done
if grep -l "Sanitizer\|runtime error" "$work"/task-*.out; then fail "a sanitizer spoke"; fi
say "passed"
