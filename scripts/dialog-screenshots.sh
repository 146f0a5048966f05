#!/usr/bin/env bash
# Screenshots of every dialog under Xvfb, at normal and at double scale:
#   scripts/dialog-screenshots.sh [BUILD_DIR] [OUT_DIR]
# Needs xvfb-run and ImageMagick's import. The screen grows with the scale, as a
# real one at double scale would.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-shots}
mkdir -p "$out"
cmake --build "$build" --target vq-showdialog --parallel 2
for name in progress preset sequence logo download picture signal options errors about network find open save; do
    for scale in 1 2; do
        QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 $((1280 * scale))x$((900 * scale))x24" \
            "$build/tests/vq-showdialog" "$name" "$out/$name-x$scale.png"
        echo "$out/$name-x$scale.png"
    done
done
