#!/usr/bin/env bash
# Draws the welcome picture (417 x 259, baseline JFIF JPEG, three components): an eagle in flight
# over a misty lake with a dark wooded shore, the product name with a soft shadow at the upper
# left, the maker's name at the lower right. Needs ImageMagick and fonts-liberation.
# Usage: assets/draw-welcome.sh [output.jpg]
set -euo pipefail
OUT=${1:-$(dirname "$0")/welcome.jpg}
IM=/usr/bin/convert
FONTS=/usr/share/fonts/truetype/liberation
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
W=417; H=259

# Sky fading into mist at the horizon, and the lake below it.
$IM -size ${W}x150 gradient:'#8fa6bd-#e4e9ec' "$T/sky.png"
$IM -size ${W}x109 gradient:'#b9c6cf-#5d7284' "$T/lake.png"
$IM "$T/sky.png" "$T/lake.png" -append "$T/base.png"

# Far hills, then the dark wooded shore: a ragged line of fir tops.
trees=""
x=-6
while [ $x -lt $W ]; do
  h=$(( (x * 37 % 23) + 14 )); b=$(( 168 - (x * 13 % 7) ))
  trees="$trees polygon $x,$b $((x + 5)),$((b - h)) $((x + 11)),$b"
  x=$((x + 7))
done
$IM "$T/base.png" \
  -fill '#9aa9b5' -draw "polygon 0,150 60,128 130,138 210,122 300,134 360,124 417,136 417,152 0,152" \
  -fill '#1d2b22' -draw "$trees" -draw "rectangle 0,160 417,176" \
  "$T/shore.png"
# Its reflection, darker and blurred, then mist drifting over the shore line.
$IM "$T/shore.png" \( -size ${W}x${H} xc:none -fill '#22333080' -draw "rectangle 0,176 417,196" -blur 0x3 \) \
  -composite \( -size ${W}x${H} xc:none -fill '#f4f6f7b0' -draw "ellipse 120,168 150,10 0,360" \
  -draw "ellipse 330,172 130,9 0,360" -draw "ellipse 210,190 220,7 0,360" -blur 0x7 \) -composite "$T/scene.png"

# The eagle: dark wings spread in a shallow V, white head and tail.
$IM "$T/scene.png" \
  -fill '#2b1f17' -draw "translate 22,-4 path 'M 236,78 C 262,60 282,52 300,58 C 318,52 342,44 372,38 C 350,52 338,62 322,70 C 330,72 336,74 342,80 C 326,80 314,78 304,76 C 296,80 290,82 282,80 C 270,84 256,84 236,78 Z'" \
  -fill '#3a2a1e' -draw "translate 22,-4 path 'M 236,78 C 222,70 208,58 190,52 C 214,54 236,62 262,70 Z'" \
  -fill '#f2f0ea' -draw "translate 22,-4 ellipse 345,74 9,5 0,360" -draw "translate 22,-4 polygon 300,76 292,88 304,84 312,88 306,76" \
  -fill '#e0a526' -draw "translate 22,-4 polygon 353,73 360,76 353,78" \
  "$T/eagle.png"

# Subtitle, the product name with a soft shadow, and the maker's name.
$IM "$T/eagle.png" \
  \( -size ${W}x${H} xc:none -font "$FONTS/LiberationSerif-Bold.ttf" -pointsize 46 -fill '#00000090' \
     -annotate +16+80 'Kelvantor' -blur 0x3 \) -composite \
  -font "$FONTS/LiberationSerif-Bold.ttf" -pointsize 46 -fill '#14284b' -annotate +12+76 'Kelvantor' \
  -font "$FONTS/LiberationSans-Regular.ttf" -pointsize 11 -fill '#1c2c3c' \
  -annotate +14+24 'Каталог и учёт коллекций для профессионалов' \
  -font "$FONTS/LiberationSans-Bold.ttf" -pointsize 12 -fill '#f2f2ee' -annotate +296+248 'VOLKRA-TENZ' \
  -pointsize 8 -annotate +383+241 '®' \
  "$T/final.png"

$IM "$T/final.png" -strip -interlace none -sampling-factor 2x2 -colorspace sRGB -type TrueColor \
  -quality 85 "JPEG:$OUT"
echo "$OUT: $(stat -c %s "$OUT") bytes"
