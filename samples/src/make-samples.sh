#!/usr/bin/env bash
# Rebuilds the sample presentations from their flat OpenDocument sources with LibreOffice
# (apt-get install libreoffice-impress). Not part of the build: the results are committed.
set -euo pipefail
cd "$(dirname "$0")"
out=$(mktemp -d)
soffice --headless --convert-to pptx --outdir "$out" quarterly-review.fodp languages.fodp
soffice --headless --convert-to ppt --outdir "$out" product-launch.fodp
cp "$out/quarterly-review.pptx" "$out/languages.pptx" "$out/product-launch.ppt" ..
# Cut short on purpose: the quick start shows a failure as well.
head -c 3000 ../quarterly-review.pptx > ../damaged.pptx
rm -rf "$out"
