#!/bin/sh
# The manual page renders without a warning, and the guide holds its own chapters, the manual
# page and (at least) one picture per screenshot.
#   check.sh <groff> <quillon.1> <quillon.pdf> <number of screenshots>
set -eu
groff=$1 page=$2 pdf=$3 screenshots=$4
fail() { echo "docs check: $*" >&2; exit 1; }

warnings=$("$groff" -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "the manual page has warnings:
$warnings"

text=$(pdftotext -layout "$pdf" -)
for heading in "User Guide" "Converting without a window" "Where the files are kept" \
        "SYNOPSIS" "COMMAND LINE" "OPTIONS" "FILES" "EXIT STATUS" "EXAMPLES"; do
    printf '%s\n' "$text" | grep -q "$heading" || fail "no \"$heading\" in $pdf"
done
pictures=$(pdfimages -list "$pdf" | tail -n +3 | wc -l)
[ "$pictures" -ge "$screenshots" ] ||
    fail "$pdf has $pictures pictures for $screenshots screenshots"
echo "docs check: manual page clean; guide has every chapter, the manual and $pictures pictures"
