#!/usr/bin/env bash
# Peak memory of an unattended run of COPIES converters on COPIES copies of one large binary
# deck (bench/ppt/makeLargePpt.py: SIZE_MB in all, 100 MB of it embedded objects inside the
# document stream, the rest pictures), and the same for an Office Open XML deck of the same
# size (bench/ooxml/makeDecks.py's slides with SIZE_MB of pictures), for bench/README.md.
#
#   bench/ppt/memory.sh QUILLON [COPIES] [SIZE_MB]      (default 8 and 230)
set -euo pipefail
cd "$(dirname "$0")/../.."
quillon=$(readlink -f "$1")
copies=${2:-8}
size=${3:-230}
work=${WORK:-/tmp/quillon-memory-bench}
mkdir -p "$work"
[ -f "$work/large.ppt" ] || python3 bench/ppt/makeLargePpt.py "$work/large.ppt" "$size"
if [ ! -f "$work/large.pptx" ]; then
    python3 - "$work/large.pptx" "$size" <<'PYTHON'
import os, random, sys
sys.path.insert(0, "bench/ooxml")
from makeDecks import write_deck
path, size = sys.argv[1], int(sys.argv[2]) << 20
big = random.Random(11)
pictures = [(i, big.randbytes(size // 20)) for i in range(20)]
write_deck(path, random.Random(7), 20, pictures)
PYTHON
fi
for kind in ppt pptx; do
    rm -rf "$work/in-$kind" "$work/out-$kind"
    mkdir -p "$work/in-$kind"
    for i in $(seq 1 "$copies"); do cp "$work/large.$kind" "$work/in-$kind/copy$i.$kind"; done
    /usr/bin/time -f "%M %e" -o "$work/time-$kind" "$quillon" \
        "-P:Source=$work/in-$kind/*.$kind,Target=$work/out-$kind,ThreadsCount=$copies,PureConsole=1,LogFile=$work/log-$kind" \
        >/dev/null 2>&1 || true
    read -r kib seconds <"$work/time-$kind"
    ok=$(grep -c '^Success' "$work/log-$kind" || true)
    echo "$kind: $copies converters, $copies files of $(($(stat -c %s "$work/large.$kind") >> 20)) MiB:" \
         "peak $((kib / 1024)) MiB, $seconds s, $ok converted"
    rm -rf "$work/in-$kind"
done
