#!/usr/bin/env bash
# The converter on a real one-node Slurm cluster: installs Debian's Slurm and MUNGE when they are
# missing, starts munged, slurmctld and slurmd by hand (no systemd) on private ports with every
# file in a scratch folder, converts a few thousand files of a source list with a job array of 4
# tasks (cluster/quillon-array.sbatch, a project whose paths are relative to its folder), cancels
# one task in the middle of its run and another before it runs, checks that the merge submitted
# with the array (--dependency=singleton) reports the sources without a record, requeues the
# first, resubmits the second as a new job with a second merge that must wait for both and find
# every source, and checks that every source was converted exactly once, by the task its share
# names, into text byte-identical to a one-process run. Stops the daemons by their process ids at
# the end, whatever happened.
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
mkdir -p "$work"/{logs,out,ref,elsewhere}

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

# The task's share of the work, and its project: the options that a user's project holds, its
# paths relative to its own folder (the tasks run in another).
printf 'SourceList=sources.txt\r\nSourceRoot=in\r\nTarget=out\r\nIsOverwrite=skip\r\nThreadsCount=1\r\n' \
    >"$work/array.batch-quillon"
printf 'Source=%s\r\nSubdir=True\r\nTarget=%s\r\nThreadsCount=2\r\nPureConsole=1\r\nJsonLog=%s\r\n' \
    "$work/in/*.ppt?" "$work/ref" "$work/ref.jsonl" >"$work/ref.batch-quillon"

say "one process, 2 converters, for the reference"
"$quillon" "$work/ref.batch-quillon" || fail "the reference run failed"

# How many sources each task has, by the share the driver computes.
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --phase shares \
    >"$work/shares.txt"

# The merge of the README: the tasks' job name and --dependency=singleton.
merge() {
    sbatch --parsable --job-name=quillon --dependency=singleton --chdir="$work" \
        --output="$work/merge-$1.out" --wrap "python3 '$repo/cluster/merge-logs.py' \
        --project '$work/array.batch-quillon' '$work'/logs/task-*.jsonl; echo \$? >'$work/merge-$1.status'" \
        >/dev/null
}
# What a merge printed: "<sources without a record> <its exit status>".
merged() {
    printf '%s %s\n' "$(sed -n 's/.* sources expected: \([0-9]*\) without a record.*/\1/p' \
        "$work/merge-$1.out")" "$(cat "$work/merge-$1.status")"
}

say "submitting an array of $shards tasks, held, and its merge"
export QUILLON="$quillon"
job=$(sbatch --parsable --hold --array=0-$((shards - 1)) --cpus-per-task=1 \
    --chdir="$work/elsewhere" --output="$work/task-%a.out" "$repo/cluster/quillon-array.sbatch" \
    "$work/array.batch-quillon" "$shards" "$work/logs")
job=${job%%;*}
merge first
# The last task is cancelled before it runs; it is resubmitted later.
unrun=$((shards - 1))
scancel "${job}_$unrun"
scontrol release "${job}_[0-$((unrun - 1))]"


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

# Every job of the test ends: the tasks and the merges.
wait_for_queue() {
    for _ in $(seq 900); do
        [ -z "$(squeue -h -o %i 2>/dev/null)" ] && return 0
        sleep 0.2
    done
    fail "the jobs did not end in 3 minutes"
}
wait_for_queue
say "array and merge ended; checking the first attempts"
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --cancelled "$cancelled" \
    --resubmitted "$unrun" --phase first || fail "the first attempts do not add up"
read -r missing status < <(merged first)
say "the first merge: ${missing:-no} sources without a record, exit $status"
[ "${missing:-0}" -ge "$(awk -v t="$unrun" '$1 == t {print $2}' "$work/shares.txt")" ] &&
    [ "$status" -ne 0 ] || fail "the first merge did not report the sources without a record"

say "requeueing task $cancelled, resubmitting task $unrun, and the merge again"
scontrol requeue "${job}_$cancelled"
# A requeued job waits for its begin time (about two minutes); start it now.
scontrol update jobid="${job}_$cancelled" StartTime=now
again=$(sbatch --parsable --array="$unrun" --cpus-per-task=1 --chdir="$work/elsewhere" \
    --output="$work/task-%a.out" "$repo/cluster/quillon-array.sbatch" \
    "$work/array.batch-quillon" "$shards" "$work/logs")
again=${again%%;*}
merge second
wait_for_queue
read -r missing status < <(merged second)
say "the second merge: ${missing:-no} sources without a record, exit $status"
# The damaged samples fail in every run: the merge ends with 1 for them.
[ "$missing" = 0 ] || fail "the second merge did not wait for the tasks run again"
say "checking all attempts"
python3 "$repo/tests/slurm/check.py" --work "$work" --shards "$shards" --cancelled "$cancelled" \
    --resubmitted "$unrun" --phase final || fail "the converted files do not add up"
# Some of the samples are damaged on purpose: every task's last attempt ends with 3 (files
# failed) under ExitCodes=strict, which Slurm records; a sanitizer's report would be in the
# task's output.
for task in $(seq 0 $((shards - 1))); do
    id=$job
    [ "$task" = "$unrun" ] && id=$again
    status=$(grep "_job_complete: JobId=${id}_${task}(" "$work/slurmctld.log" |
        grep -o 'WEXITSTATUS [0-9]*' | tail -n 1)
    [ "$status" = "WEXITSTATUS 3" ] || fail "task $task ended with ${status:-no exit status}"
done
if grep -l "Sanitizer\|runtime error" "$work"/task-*.out; then fail "a sanitizer spoke"; fi
say "passed"
