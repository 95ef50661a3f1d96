#!/bin/sh
# Regenerates the artwork under icon/ from the sources in this folder.
# Needs python3 and rsvg-convert (librsvg2-bin); the build itself does not.
set -eu
src=$(cd "$(dirname "$0")" && pwd)
icon="$src/.."
python3 "$src/make_svgs.py"

rsvg-convert -w 64 -h 64 "$src/refresh.svg" -o "$icon/png/refresh.png"
rsvg-convert -w 256 -h 256 "$src/qr-wechat.svg" -o "$icon/png/mwrWx.png"
rsvg-convert -w 256 -h 256 "$src/qr-bilibili.svg" -o "$icon/png/mwrBliBli.png"
for n in 1 2 3 4 5 6; do
    rsvg-convert -w 320 -h 320 "$src/face-$n.svg" -o "$icon/png/TAVOX/$n.png"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$src/tavox-icon.svg" -o "$tmp/$size.png"
done
python3 "$src/pack_ico.py" "$icon/icon.ico" "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" \
    "$tmp/64.png" "$tmp/128.png" "$tmp/256.png"
