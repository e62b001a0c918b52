#!/usr/bin/env bash
# The binary PowerPoint benchmark of bench/README.md: builds the driver in Release, compiles the
# POI harness, generates the .ppt decks (deterministic) and prints the table. Needs the Debian
# packages catdoc and libapache-poi-java (and a JDK).
set -euo pipefail
cd "$(dirname "$0")/../.."
CORPUS=${CORPUS:-../shared/corpus-public}
WORK=build-bench-ppt
DECKS=${DECKS:-200}

cmake -S bench/ppt -B "$WORK/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$WORK/cmake" >/dev/null
J=/usr/share/java
CLASSPATH="$J/poi.jar:$J/poi-scratchpad.jar:$J/commons-collections4.jar:$J/commons-math3.jar:$J/commons-codec.jar:$J/commons-compress.jar"
mkdir -p "$WORK/classes"
javac -nowarn -cp "$CLASSPATH" -d "$WORK/classes" bench/ppt/PoiPptText.java
if [ ! -f "$WORK/decks/deck-$(printf %03d $((DECKS - 1))).ppt" ]; then
    python3 bench/ppt/makePptDecks.py "$WORK/decks" "$DECKS"
fi

echo "quillon: bench/ppt/pptTextDriver; $(catppt -V 2>&1 | head -1); Apache POI" \
     "$(dpkg-query -W -f '${Version}' libapache-poi-java) on $(java -version 2>&1 | head -1);" \
     "$(nproc) cores; $(date -u +%Y-%m-%d)"
python3 bench/ppt/pptBench.py --driver "$WORK/cmake/pptTextDriver" --classes "$WORK/classes" \
    --classpath "$CLASSPATH" --repeat "${REPEAT:-3}" \
    "corpus-public .ppt=$CORPUS" "generated .ppt decks=$WORK/decks"
