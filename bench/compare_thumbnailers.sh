#!/bin/sh
# Compares the order import with vipsthumbnail and ImageMagick's convert making the same three sizes
# (fitted to 2250, 1000 and 200 pixels) of the same photos, in the same run.
#
#   bench/compare_thumbnailers.sh [N] [bench_import]
#
# N photos (default 24) of 6000 x 4000 pixels, half of them to be turned, are made by bench_import
# (default: build/release/bench/bench_import; build it with -DCMAKE_BUILD_TYPE=Release). The missing
# tools are installed with apt-get (Debian packages libvips-tools and imagemagick).
set -eu

N=${1:-24}
BENCH=${2:-build/release/bench/bench_import}
[ -x "$BENCH" ] || { echo "bench_import not found at $BENCH" >&2; exit 1; }

command -v vipsthumbnail >/dev/null 2>&1 || apt-get install -y libvips-tools
# The ImageMagick program itself, not a wrapper of the same name.
pick_convert() {
    for c in convert-im6.q16 magick convert; do
        if command -v "$c" >/dev/null 2>&1; then command -v "$c"; return 0; fi
    done
    return 1
}
CONVERT=$(pick_convert) || { apt-get install -y imagemagick && CONVERT=$(pick_convert); }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='*.debug=false;*.warning=false'

echo "making $N photos ..."
"$BENCH" --generate "$WORK/src" "$N" >/dev/null

now() { date +%s.%N; }
per_photo() { awk -v a="$1" -v b="$2" -v n="$N" 'BEGIN { printf "%.3f", (b - a) / n }'; }

echo "--- order import (all cores for one order) ---"
OURS=$("$BENCH" --import "$WORK/src")
echo "$OURS"
ours0=$(echo "$OURS" | sed -n 's/^type 0: .*(\([0-9.]*\) s per photo).*/\1/p')
ours1=$(echo "$OURS" | sed -n 's/^type 1: .*(\([0-9.]*\) s per photo).*/\1/p')

echo "--- vipsthumbnail, three sizes ---"
for s in 2250 1000 200; do mkdir -p "$WORK/vips$s" "$WORK/vipsp$s"; done
t0=$(now)
for s in 2250 1000 200; do
    vipsthumbnail "$WORK"/src/*.jpg --size "${s}x${s}" -o "$WORK/vips$s/%s.jpg"
done
t1=$(now)
vips=$(per_photo "$t0" "$t1")
echo "one process after another: $vips s per photo"
t0=$(now)
ls "$WORK"/src/*.jpg | xargs -P "$(nproc)" -n 1 sh -c '
    for s in 2250 1000 200; do vipsthumbnail "$0" --size "${s}x${s}" -o "'"$WORK"'/vipsp$s/%s.jpg"; done'
t1=$(now)
vipsp=$(per_photo "$t0" "$t1")
echo "one process per core:      $vipsp s per photo"

echo "--- ImageMagick $CONVERT, three sizes from one decode ---"
mkdir -p "$WORK/im"
t0=$(now)
for f in "$WORK"/src/*.jpg; do
    b=$(basename "$f" .jpg)
    "$CONVERT" "$f" -auto-orient -resize 2250x2250 -write "$WORK/im/${b}_2250.jpg" \
        -resize 1000x1000 -write "$WORK/im/${b}_1000.jpg" -resize 200x200 "$WORK/im/${b}_200.jpg"
done
t1=$(now)
im=$(per_photo "$t0" "$t1")
echo "one process after another: $im s per photo"

echo "--- ratios (how many times faster the import is per photo) ---"
awk -v o0="$ours0" -v o1="$ours1" -v v="$vips" -v vp="$vipsp" -v c="$im" 'BEGIN {
    printf "vs vipsthumbnail:            type 0 %.1fx, type 1 %.1fx\n", v / o0, v / o1
    printf "vs vipsthumbnail per core:   type 0 %.1fx, type 1 %.1fx\n", vp / o0, vp / o1
    printf "vs convert:                  type 0 %.1fx, type 1 %.1fx\n", c / o0, c / o1
}'
