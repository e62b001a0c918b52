#!/usr/bin/env bash
# The cluster benchmark of bench/README.md: the same few thousand files converted by one process
# with two converters and by a Slurm job array of four one-converter tasks on this machine's one
# node, the fixed cost of a task, and what a list source saves against walks of the same tree.
#
#   bench/cluster/run.sh [path/to/quillon] [files] [rounds]     (defaults build/quillon 4000 3)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
quillon=$(realpath "${1:-$repo/build/quillon}")
files=${2:-4000}
rounds=${3:-3}
corpus=${QUILLON_PUBLIC_CORPUS:-$repo/../shared/corpus-public}

. "$repo/tests/slurm/oneNode.sh"
slurm_install
# Sources, texts and the cluster's own files on a RAM file system where there is one: the disk
# of a shared machine would measure the other users' writes.
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/quillon-bench-cluster.XXXXXX")
chmod 755 "$work"
trap 'slurm_stop "$work"; rm -rf "$work"' EXIT
slurm_start "$work"

python3 "$repo/tests/slurm/makeSources.py" "$corpus" "$work/in" "$files" >"$work/sources.txt"
python3 "$repo/bench/cluster/bench.py" "$quillon" "$work" "$rounds"
