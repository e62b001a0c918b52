#!/usr/bin/env bash
# The window under load against the same work without a window (bench/README.md, "The window
# under load"): listing the search benchmark's 100,000-file tree, and converting the generated
# decks of bench/ooxml, in a Release build made here.
#
#   bench/window/run.sh        ROUNDS=n (default 7), THREADS=1,2, ROOT=tree, OUTPUTS=folder
#
# Needs GNU time (make bench-window installs it).
set -euo pipefail
cd "$(dirname "$0")/../.."
work=build-bench-window
root=${ROOT:-${TMPDIR:-/tmp}/quillon-search-bench}

cmake -S . -B "$work/head" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$work/head" --target window_bench quillon quillon-window > /dev/null
python3 bench/search/makeTree.py "$root"
if [ ! -f "$work/decks/deck-299.pptx" ]; then
    python3 bench/ooxml/makeDecks.py "$work/decks" 300
fi
# The runs search a folder: one of links to exactly the 300 decks.
rm -rf "$work/deck-links"
mkdir -p "$work/deck-links"
for deck in "$work"/decks/deck-*.pptx; do ln -s "$PWD/$deck" "$work/deck-links/"; done

python3 bench/window/windowBench.py --bench "$work/head/src/ui/window_bench" \
    --quillon "$work/head" --tree "$root" --decks "$PWD/$work/deck-links" \
    --rounds "${ROUNDS:-7}" --threads "${THREADS:-1,2}" ${OUTPUTS:+--outputs "$OUTPUTS"}
