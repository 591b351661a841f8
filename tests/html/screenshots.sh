#!/bin/sh
# Builds a small program that shows an information box, a Yes/No box and the save
# report box under Xvfb and saves their screenshots (PNG) into a folder (default /tmp).
#   tests/html/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir=${1:-$source_dir/build/htmlbox}
out_dir=${2:-/tmp}

cmake --build "$build_dir" --target html
program="$build_dir/tests/html/message-box-screenshots"
mkdir -p "$(dirname "$program")"
# shellcheck disable=SC2046
c++ -std=c++20 -fPIC -I"$source_dir" $(pkg-config --cflags Qt6Widgets) \
    "$here/screenshots/MessageBoxScreenshots.cpp" "$build_dir/html/libhtml.a" \
    $(pkg-config --libs Qt6Widgets) -o "$program"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$out_dir"
