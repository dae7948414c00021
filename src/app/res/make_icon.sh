#!/bin/sh
# Draws the program's icon (32x32 and 16x16 in one .ico) with ImageMagick.
# Run once when the design changes; updater.ico is kept in the repository.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
draw() {
    size=$1
    s=$(awk "BEGIN{print $size/32}")
    convert -size "${size}x${size}" xc:none \
        -fill '#1d5fa8' -draw "roundrectangle 0,0 $((size-1)),$((size-1)) $(awk "BEGIN{print 5*$s}"),$(awk "BEGIN{print 5*$s}")" \
        -fill white -draw "polygon $(awk "BEGIN{printf \"%g,%g %g,%g %g,%g %g,%g %g,%g %g,%g %g,%g\", 12*$s,5*$s, 20*$s,5*$s, 20*$s,15*$s, 26*$s,15*$s, 16*$s,26*$s, 6*$s,15*$s, 12*$s,15*$s}")" \
        -fill '#f2c230' -draw "rectangle $(awk "BEGIN{printf \"%g,%g %g,%g\", 6*$s,27*$s, 26*$s-1,29*$s-1}")" \
        "PNG32:$tmp/icon$size.png"
}
draw 32
draw 16
convert "$tmp/icon32.png" "$tmp/icon16.png" updater.ico
