#!/bin/sh
# The same unattended run of the Linux program and of quillon.exe under Wine, over the same
# presentations: the two logs must agree line by line once the paths are written alike, and the
# text files must hold the same text.
#
#   compareRuns.sh <linux quillon> <wine runner> <quillon.exe> <corpus folder> <work folder>
set -eu
linux="$1" wine="$2" exe="$3" corpus="$(cd "$4" && pwd)" work="$5"

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
work="$(cd "$work" && pwd)"
# Wine sees the Linux file system as drive Z:.
dos() { printf 'Z:%s' "$1" | tr / '\\'; }

# One converter, so that the log's order (the order of the conversions) is the same.
options="Subdir=1,ThreadsCount=1,PureConsole=1"
"$linux" "-P:Source=$corpus/*.ppt?,Target=$work/linux,LogFile=$work/linux.log,$options" \
    >"$work/linux.out" 2>&1 || { echo "Linux run failed:"; cat "$work/linux.out"; exit 1; }
"$wine" "$exe" "-P:Source=$(dos "$corpus")\\*.ppt?,Target=$(dos "$work/windows"),LogFile=$(dos "$work/windows.log"),$options" \
    >"$work/windows.out" 2>&1 || { echo "Windows run failed:"; cat "$work/windows.out"; exit 1; }

# The Windows log is in the process's ANSI code page, windows-1252 under Wine's default locale.
# Its fields are in the log's escape form, where a backslash, the path delimiter, is doubled;
# no name in the corpus needs another escape, so undoing that one gives the paths.
sed -e "s|$corpus/|<in>/|g" -e "s|$work/linux/|<out>/|g" "$work/linux.log" >"$work/linux.norm"
iconv -f CP1252 -t UTF-8 "$work/windows.log" | sed 's|\\\\|\\|g' | tr '\\' / |
    sed -e "s|Z:$corpus/|<in>/|g" -e "s|Z:$work/windows/|<out>/|g" >"$work/windows.norm"
lines=$(wc -l <"$work/linux.norm")
[ "$lines" -gt 100 ] || { echo "only $lines log lines: not the corpus"; exit 1; }
diff -u "$work/linux.norm" "$work/windows.norm" || { echo "the logs differ"; exit 1; }

# Each text file: the Linux one is UTF-8; where windows-1252 holds its text the Windows one must
# be exactly that, elsewhere it has the same lines with "?" for what the page lacks.
texts=0
cd "$work/linux"
find . -name '*.txt' | sort >"$work/texts"
while IFS= read -r f; do
    texts=$((texts + 1))
    [ -f "$work/windows/$f" ] || { echo "no Windows text for $f"; exit 1; }
    if iconv -f UTF-8 -t CP1252 "$f" >"$work/expected" 2>/dev/null; then
        cmp -s "$work/expected" "$work/windows/$f" || { echo "the texts of $f differ"; exit 1; }
    elif [ "$(wc -l <"$f")" != "$(wc -l <"$work/windows/$f")" ]; then
        echo "the texts of $f have different line counts"
        exit 1
    fi
done <"$work/texts"
echo "$lines log lines and $texts text files agree"
