#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_TIME seconds each (default 120), seeded from the project's own
# seeds, the sample presentations and the public files beside the repository. A finding is left
# in fuzz/findings/<target>/: fix it at its cause, then keep the input in
# fuzz/regressions/<target>/, which every `make test` replays. FUZZ_FLAGS adds libFuzzer options
# (-entropic=0 runs the targets of the whole engine several times faster on a busy machine:
# the entropic scheduler's bookkeeping of rare features then takes most of the time).
#
#   fuzz/run.sh [build-folder]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${FUZZ_TIME:-120}
shared=../shared
status=0

seeds_for() {
    case "$1" in
        optionList_fuzz) ls samples/*.batch-quillon ;;
        richText_fuzz) ls "$shared"/rtf-samples/*.rtf 2>/dev/null ;;
        ooxmlPackage_fuzz | zipSalvage_fuzz) find "$shared/corpus-public" samples -name '*.pp[ts][xm]' -size -2M 2>/dev/null ;;
        ooxmlSlides_fuzz)
            # The slide, notes and comment parts of the public decks, unpacked.
            local tmp; tmp=$(mktemp -d)
            for deck in $(find "$shared/corpus-public" samples -name '*.pptx' -size -2M 2>/dev/null); do
                unzip -qq -o -j "$deck" 'ppt/slides/slide*.xml' 'ppt/diagrams/data*.xml' \
                    'ppt/notesSlides/notesSlide*.xml' 'ppt/comments/*.xml' 'ppt/commentAuthors.xml' \
                    -d "$tmp/$(basename "$deck")" 2>/dev/null
            done
            find "$tmp" -type f ;;
        cfbReader_fuzz | pptDocument_fuzz) find "$shared/corpus-public" samples -name '*.pp[ts]' -size -2M 2>/dev/null ;;
        pptEditScan_fuzz)
            # The document streams of the public decks, each followed by its newest edit's offset.
            local tmp; tmp=$(mktemp -d)
            for deck in $(find "$shared/corpus-public" samples -name '*.pp[ts]' -size -2M 2>/dev/null); do
                /usr/bin/python3 - "$deck" "$tmp/$(basename "$deck")" <<'PYTHON' 2>/dev/null
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
user = ole.openstream("Current User").read()
with open(sys.argv[2], "wb") as out:
    out.write(ole.openstream("PowerPoint Document").read() + user[16:20])
PYTHON
            done
            find "$tmp" -type f ;;
        *) ;;
    esac
}

printf '%-20s %8s %10s %s\n' target seconds runs result
for fuzzer in "$build"/fuzz/*_fuzz; do
    name=$(basename "$fuzzer")
    work=$(mktemp -d)
    seeddir=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp fuzz/corpus/"$name"/* "$seeddir"/ 2>/dev/null
    [ -d "fuzz/regressions/$name" ] && cp fuzz/regressions/"$name"/* "$seeddir"/ 2>/dev/null
    i=0
    for seed in $(seeds_for "$name"); do cp "$seed" "$seeddir/seed$((i++))"; done
    mkdir -p "fuzz/findings/$name"
    log="$work/log"
    "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 ${FUZZ_FLAGS:-} \
        -artifact_prefix="fuzz/findings/$name/" "$work" "$seeddir" >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    if [ $rc -eq 0 ]; then result="no finding"; else result="FINDING (see fuzz/findings/$name)"; status=1; fi
    printf '%-20s %8s %10s %s\n' "$name" "$seconds" "${runs:-?}" "$result"
    rmdir "fuzz/findings/$name" 2>/dev/null
    rm -rf "$work" "$seeddir"
done
exit $status
