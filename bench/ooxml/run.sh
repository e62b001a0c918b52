#!/usr/bin/env bash
# The whole-process benchmark of the engine (bench/README.md, "Office Open XML engine"): builds
# the bench programs in Release, installs the pinned officeparser into build-bench-engine/,
# generates the decks (deterministic), and prints the table. `make bench` installs the Debian
# peers first and then runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
OFFICEPARSER_VERSION=${OFFICEPARSER_VERSION:-7.8.0}
CORPUS=${CORPUS:-../shared/corpus-public}
DECKS=${DECKS:-300}
WORK=build-bench-engine

cmake -S bench/ooxml -B "$WORK/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$WORK/cmake" >/dev/null

installed=$(node -p "require('./$WORK/node/node_modules/officeparser/package.json').version" \
            2>/dev/null || true)
if [ "$installed" != "$OFFICEPARSER_VERSION" ]; then
    npm install --prefix "$WORK/node" --no-save --no-audit --no-fund \
        "officeparser@$OFFICEPARSER_VERSION" >/dev/null
fi

if [ ! -f "$WORK/decks/pictures-none.pptx" ] || [ ! -f "$WORK/decks/deck-$(printf %03d $((DECKS - 1))).pptx" ]; then
    python3 bench/ooxml/makeDecks.py "$WORK/decks" "$DECKS"
fi

echo "quillon: bench/ooxml/outlineDriver (automation layer + engine); officeparser $OFFICEPARSER_VERSION" \
     "on node $(node --version); $(nproc) cores; $(date -u +%Y-%m-%d)"
# The product itself, for its unattended run over a folder.
cmake -S . -B "$WORK/tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$WORK/tree" --target quillon >/dev/null

python3 bench/ooxml/runBench.py --tools "$WORK/cmake" --node "$WORK/node" --decks "$WORK/decks" \
    --corpus "$CORPUS" --repeat "${REPEAT:-7}" --quillon "$WORK/tree/quillon" \
    ${OUTPUTS:+--outputs "$OUTPUTS"}
