#!/bin/sh
# Notes, Markdown and JSON Lines on the public files: notes recall against Apache POI's notes
# for .ppt and officeparser's (the same pinned version as bench/ooxml) for .pptx, every Markdown file read by cmark into one <h2> per slide, every JSON line valid
# against docs/slides.schema.json, and the time of OutputFormat=markdown and jsonl against text.
#   bench/notes/run.sh [quillon program]   (default build/quillon)
# Needs libapache-poi-java, a JDK, node and npm, cmark and python3-jsonschema.
set -eu
QUILLON=${1:-build/quillon}
CORPUS=${CORPUS:-../shared/corpus-public}
WORK=${WORK:-/tmp/quillon-notes-bench}
rm -rf "$WORK" && mkdir -p "$WORK/classes"
J=/usr/share/java
CLASSPATH="$J/poi.jar:$J/poi-scratchpad.jar:$J/commons-collections4.jar:$J/commons-math3.jar:$J/commons-codec.jar:$J/commons-compress.jar"
javac -nowarn -cp "$CLASSPATH" -d "$WORK/classes" bench/notes/PoiPptNotes.java
java -cp "$CLASSPATH:$WORK/classes" PoiPptNotes "$CORPUS"/poi/*.ppt > "$WORK/poi-notes.txt"
OFFICEPARSER_VERSION=${OFFICEPARSER_VERSION:-7.8.0}
npm install --prefix "$WORK/node" --no-save --no-audit --no-fund \
    "officeparser@$OFFICEPARSER_VERSION" >/dev/null
NODE_PATH="$WORK/node/node_modules" node bench/notes/officeparserNotes.js \
    "$CORPUS"/poi/*.pptx "$CORPUS"/python-pptx/*.pptx > "$WORK/officeparser-notes.txt"
python3 bench/notes/compare.py "$QUILLON" "$CORPUS" "$WORK"
