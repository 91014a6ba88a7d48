#!/usr/bin/env bash
# Draws the emoticon images (data/smilies/*.png) and the program logo (data/icon.png) with
# ImageMagick. Faces are drawn at 8x on a 112 px canvas and reduced to 14x14, the size the
# chat view shows them at, so the thick strokes stay legible after the reduction.
# The drawings are the project's own work, under the project's MIT licence.
#   scripts/draw_smilies.sh [output-folder]      (default: data/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-data}
mkdir -p "$out/smilies"

ink='#4a3000'
png_opts=(-strip -depth 8 -define png:exclude-chunks=date,time)

# curve X0 Y0 CX CY X1 Y1: a quadratic Bezier as an open polyline (ImageMagick 6 closes
# open stroked paths with a chord; round joins keep thick polylines whole).
curve() {
  awk -v x0="$1" -v y0="$2" -v cx="$3" -v cy="$4" -v x1="$5" -v y1="$6" 'BEGIN {
    printf "stroke-linejoin round stroke-linecap round polyline"
    for (i = 0; i <= 16; i++) {
      t = i / 16; u = 1 - t
      printf " %.1f,%.1f", u*u*x0 + 2*u*t*cx + t*t*x1, u*u*y0 + 2*u*t*cy + t*t*y1
    }
  }'
}

# Eyes and mouths, in 112 px coordinates (face centre 56,56, radius 50).
eyes="fill $ink stroke none ellipse 38,42 7,11 0,360 ellipse 74,42 7,11 0,360"
smile="fill none stroke $ink $(curve 30 64 56 96 82 64)"
frown="fill none stroke $ink $(curve 34 88 56 62 78 88)"
flat="fill none stroke $ink line 36,76 76,76"
open_grin="fill $ink stroke $ink path 'M 28,60 L 84,60 A 28,28 0 0,1 28,60 Z'"
squint="fill none stroke $ink stroke-linejoin round polyline 28,36 44,44 28,52 polyline 84,36 68,44 84,52"

face() {  # face NAME FILL DRAW...
  local name=$1 fill=$2; shift 2
  local draws=()
  for d in "$@"; do draws+=(-draw "$d"); done
  convert -size 112x112 xc:none -strokewidth 7 \
    -fill "$fill" -stroke "$ink" -draw "circle 56,56 56,7" \
    "${draws[@]}" -resize 14x14 "${png_opts[@]}" "$out/smilies/$name.png"
}

yellow='#ffd42a'
face face-smile     "$yellow" "$eyes" "$smile"
face face-wink      "$yellow" "fill $ink stroke none ellipse 74,42 7,11 0,360" \
                              "fill none stroke $ink $(curve 28 46 38 34 48 46)" "$smile"
face face-question  "$yellow" "$eyes" "fill none stroke $ink line 40,80 72,72" \
                              "fill none stroke #1f5fd0 stroke-width 9 $(curve 72 30 86 0 100 28) $(curve 100 28 100 40 86 54)" \
                              "fill #1f5fd0 stroke none circle 86,64 86,58"
face face-tongue    "$yellow" "$eyes" "fill #e0405a stroke $ink ellipse 62,86 12,14 0,360" "$smile"
face face-red       '#ff9a7a' "$eyes" "fill #ff4f4f stroke none ellipse 26,64 9,6 0,360 ellipse 86,64 9,6 0,360" \
                              "fill none stroke $ink $(curve 40 70 56 84 72 70)"
face face-rolleyes  "$yellow" "fill white stroke $ink ellipse 38,44 12,14 0,360 ellipse 74,44 12,14 0,360" \
                              "fill $ink stroke none circle 38,36 38,30 circle 74,36 74,30" "$flat"
face face-laugh     "$yellow" "$eyes" "$open_grin"
face face-normal    "$yellow" "$eyes" "$flat"
face face-eek       "$yellow" "fill white stroke $ink circle 38,42 38,26 circle 74,42 74,26" \
                              "fill $ink stroke none circle 38,42 38,36 circle 74,42 74,36" \
                              "fill $ink stroke none circle 56,82 56,74"
face face-lol       "$yellow" "$squint" "$open_grin"
face face-confused  "$yellow" "$eyes" "fill none stroke $ink stroke-linejoin round polyline 30,80 42,72 56,80 70,72 82,80"
face face-rofl      "$yellow" "$squint" "$open_grin" \
                              "fill #3fa9f5 stroke none ellipse 14,52 7,10 0,360 ellipse 98,52 7,10 0,360"
face face-sad       "$yellow" "$eyes" "$frown"
face face-angry     '#ff6a3a' "fill none stroke $ink line 26,26 48,38 line 86,26 64,38" \
                              "fill $ink stroke none ellipse 38,48 7,8 0,360 ellipse 74,48 7,8 0,360" "$frown"
face face-surprised "$yellow" "$eyes" "fill $ink stroke none ellipse 56,80 10,14 0,360"
face face-cry       "$yellow" "$eyes" "$frown" "fill #3fa9f5 stroke none path 'M 30,56 L 22,76 A 9,9 0 1,0 38,76 Z'"
face face-evil      '#b05ad8' "fill #b05ad8 stroke $ink polygon 18,36 14,4 40,16 polygon 94,36 98,4 72,16" \
                              "fill none stroke $ink line 28,30 48,40 line 84,30 64,40" \
                              "fill $ink stroke none ellipse 38,50 6,8 0,360 ellipse 74,50 6,8 0,360" "$open_grin"
face face-cool      "$yellow" "fill $ink stroke $ink roundrectangle 18,30 52,54 8,8 roundrectangle 60,30 94,54 8,8" \
                              "fill none stroke $ink line 50,38 62,38" "$smile"

# The logo: a blue speech bubble holding a gold padlock, 96x96.
convert -size 384x384 xc:none \
  -fill '#2b6cc4' -stroke '#17407a' -strokewidth 12 \
  -draw "roundrectangle 24,40 360,280 60,60" \
  -draw "polygon 90,270 70,352 170,272" \
  -stroke none -draw "rectangle 92,262 166,276" \
  -fill none -stroke '#ffd42a' -strokewidth 26 -draw "arc 144,70 240,190 180,360" \
  -draw "line 144,130 144,150 line 240,130 240,150" \
  -fill '#ffd42a' -stroke '#b88a00' -strokewidth 8 -draw "roundrectangle 116,140 268,250 18,18" \
  -fill '#17407a' -stroke none -draw "circle 192,185 192,170" -draw "rectangle 185,185 199,222" \
  -resize 96x96 "${png_opts[@]}" "$out/icon.png"
