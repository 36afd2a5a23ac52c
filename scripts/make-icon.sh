#!/usr/bin/env bash
# Draws the icon of picrelink.exe, a picture in its frame and an arrow that
# moves it to its new place, and writes win32/resources/picrelink.ico with the
# sizes Windows asks for: 16 and 32 for title bars and lists, 48 for Explorer's
# icons, 256 for its large views. Every size is drawn anew from the same
# outline rather than scaled down from the largest, so the small ones stay
# sharp. The .ico is committed: the build itself does not need ImageMagick.
#   scripts/make-icon.sh [OUTPUT]      (default: win32/resources/picrelink.ico)
# Needs convert (imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."

output=${1:-win32/resources/picrelink.ico}

if ! command -v convert >/dev/null 2>&1; then
  echo "missing: convert; install with  apt-get install imagemagick" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The outline on a 256 by 256 grid.
cat >"$work/icon.mvg" <<'EOF'
stroke-linejoin round
stroke-linecap round
# The frame with a little shadow under it.
fill #00000040 stroke none
roundrectangle 22,30 210,190 18,18
fill #f5f7fa stroke #2f5d8c stroke-width 12
roundrectangle 14,20 202,180 18,18
# The picture in it: sky, sun and two hills.
fill #a9d8f5 stroke none
rectangle 36,42 180,158
fill #f7c245
circle 146,74 146,92
fill #5aa469
polygon 36,158 36,128 78,88 124,140 138,126 180,158
fill #3f8752
polygon 100,158 138,118 180,150 180,158
# The arrow, orange with a white edge so that it stands off the frame.
fill #ee7a2b stroke #ffffff stroke-width 10
polygon 116,186 182,186 182,160 242,208 182,246 182,220 116,220
EOF

pictures=()
for size in 16 32 48 256; do
  scale=$(awk -v s="$size" 'BEGIN { printf "%.6f", s / 256 }')
  # No date or time chunks: the same outline gives the same file every time.
  convert -size "${size}x${size}" xc:none \
    -draw "affine $scale,0,0,$scale,0,0 $(cat "$work/icon.mvg")" \
    -define png:exclude-chunks=date,time "png32:$work/icon-$size.png"
  pictures+=("$work/icon-$size.png")
done

mkdir -p "$(dirname "$output")"
convert "${pictures[@]}" "ico:$output"
echo "wrote $output"
