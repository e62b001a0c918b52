#!/usr/bin/env bash
# The start-up benchmark of bench/README.md: one process per file against catppt, and an empty
# unattended run, this tree against an older commit (default: main), both Release builds
# without the window module (the unattended run never loads it), in interleaved rounds.
#
#   bench/startup/run.sh [BASE_COMMIT]      (ROUNDS=n, FILES=n, CORPUS=folder)
#
# Needs catppt (Debian's catdoc; make bench-deps installs it).
set -euo pipefail
cd "$(dirname "$0")/../.."
base=${1:-main}
work=build-bench-startup
CORPUS=${CORPUS:-../shared/corpus-public}

commit=$(git rev-parse --short "$base")
if [ ! -x "$work/base-$commit/quillon" ]; then
    rm -rf "$work/base-src"
    mkdir -p "$work/base-src"
    git archive "$commit" | tar -x -C "$work/base-src"
    cmake -S "$work/base-src" -B "$work/base-$commit" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DQUILLON_WINDOW=OFF > /dev/null
    cmake --build "$work/base-$commit" --target quillon > /dev/null
fi
cmake -S . -B "$work/head" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_WINDOW=OFF > /dev/null
cmake --build "$work/head" --target quillon > /dev/null
cmake -S bench/startup -B "$work/floor" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$work/floor" > /dev/null

echo "before: $commit; after: $(git rev-parse --short HEAD)$(git diff --quiet || echo ' + changes');" \
     "$(catppt -V 2>&1 | head -1); $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 bench/startup/startupBench.py --before "$work/base-$commit/quillon" \
    --quillon "$work/head/quillon" --floor "floor=$work/floor/startupFloor" \
    --floor "floor, quillon's libraries=$work/floor/startupFloorLinked" \
    --leave-out 'Password_Protected-*' --leave-out '*_encrypted.ppt' \
    --files "${FILES:-30}" --rounds "${ROUNDS:-9}" "$CORPUS"
