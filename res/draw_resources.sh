#!/usr/bin/env bash
# Draws the program's button bitmaps, icons, cursors and start-up picture into res/ with
# ImageMagick. The PNGs are committed; run this again only to change them on purpose.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p bitmaps icons cursors

btn() { # id, then ImageMagick draw arguments on a 20 x 20 light face
  local id=$1; shift
  convert -size 20x20 xc:'#d8d8d8' "$@" "bitmaps/bmp$id.png"
}
btn 193 -fill '#3c78d8' -draw 'rectangle 2,8 11,17' -fill '#8fb4ee' -draw 'rectangle 12,2 17,7'
btn 188 -fill none -stroke '#206020' -strokewidth 2 -draw 'arc 3,3 17,17 180,90' -fill '#206020' -stroke none -draw 'polygon 14,13 19,11 16,17'
btn 282 -stroke none -fill '#e04040' -draw 'circle 7,7 7,2' -fill '#40b040' -draw 'circle 13,7 13,2' -fill '#4060e0' -draw 'circle 10,13 10,8'
btn 190 -fill white -stroke '#404040' -draw 'polygon 4,2 12,2 16,6 16,18 4,18' -fill none -draw 'polyline 12,2 12,6 16,6'
btn 205 -fill none -stroke '#303030' -strokewidth 2 -draw 'circle 8,8 8,3' -draw 'line 12,12 18,18' -strokewidth 1 -draw 'line 6,8 10,8' -draw 'line 8,6 8,10'
btn 207 -fill none -stroke '#303030' -strokewidth 2 -draw 'circle 8,8 8,3' -draw 'line 12,12 18,18' -strokewidth 1 -draw 'line 6,8 10,8'
btn 232 -stroke '#b03030' -draw 'line 0,6 19,6' -draw 'line 0,13 19,13' -draw 'line 6,0 6,19' -draw 'line 13,0 13,19'
btn 215 -fill '#f0d070' -stroke '#604000' -draw 'rectangle 2,4 11,13' -fill '#70b0f0' -stroke '#003060' -draw 'rectangle 8,7 17,16'
btn 256 -fill none -stroke '#004080' -strokewidth 2 -draw 'ellipse 10,10 8,5 0,330' -stroke none -fill '#004080' -draw 'polygon 15,4 19,6 15,8'
btn 218 -stroke '#c00000' -fill none -draw 'circle 10,10 10,5' -draw 'line 10,1 10,19' -draw 'line 1,10 19,10'
btn 249 -fill '#606060' -stroke none -draw 'circle 10,10 10,3' -fill '#d8d8d8' -draw 'circle 10,10 10,7' -fill '#606060' -draw 'rectangle 9,1 11,19' -draw 'rectangle 1,9 19,11' -fill '#d8d8d8' -draw 'circle 10,10 10,8'
btn 191 -fill '#3050a0' -stroke none -draw 'rectangle 2,2 17,17' -fill white -draw 'rectangle 5,3 14,8' -fill '#c0c0c0' -draw 'rectangle 6,12 13,17'
btn 210 -fill '#505050' -stroke none -draw 'rectangle 1,13 4,16' -draw 'rectangle 6,10 11,16' -draw 'rectangle 13,5 19,16'

icon() { # id, colour, then draw arguments on a 32 x 32 transparent square
  local id=$1 col=$2; shift 2
  convert -size 32x32 xc:none -fill "$col" -stroke '#202020' "$@" "icons/icon$id.png"
}
icon 128 '#4a8fd8' -draw 'roundrectangle 1,8 30,23 3,3' -fill '#f0e080' -stroke none -draw 'polygon 3,21 10,13 15,18 21,11 28,21'
for id in 233 234 235 236 237 238 257 278; do
  case $id in
    233) icon $id '#e0e0e0' -draw 'rectangle 4,6 27,25' -draw 'line 4,6 27,25' ;;
    234) icon $id '#60b060' -draw 'circle 16,16 16,4' ;;
    235) icon $id '#d06060' -draw 'polygon 16,3 29,28 3,28' ;;
    236) icon $id '#6080d0' -draw 'rectangle 5,5 26,26' ;;
    237) icon $id '#d0b040' -draw 'polygon 16,2 20,12 30,12 22,19 25,29 16,23 7,29 10,19 2,12 12,12' ;;
    238) icon $id '#a060c0' -draw 'ellipse 16,16 13,8 0,360' ;;
    257) icon $id '#40a0a0' -draw 'roundrectangle 3,9 28,22 4,4' ;;
    278) icon $id '#c08040' -draw 'polygon 4,16 16,4 28,16 16,28' ;;
  esac
done

cursor() { # id, then draw arguments on a 32 x 32 transparent square (white shape, black edge)
  local id=$1; shift
  convert -size 32x32 xc:none -fill white -stroke black "$@" "cursors/cur$id.png"
}
arrow='polygon 0,0 0,16 4,12 7,19 9,18 6,11 11,11'
cursor 159 -draw 'roundrectangle 8,10 23,26 4,4' -draw 'rectangle 9,3 12,12' -draw 'rectangle 13,2 16,12' -draw 'rectangle 17,4 20,12'
cursor 174 -draw "$arrow" -fill '#a0c0ff' -draw 'rectangle 12,14 28,26'
cursor 179 -draw "$arrow" -fill '#ffe080' -draw 'rectangle 13,15 25,25'
cursor 180 -draw "$arrow" -fill '#ffe080' -draw 'rectangle 11,13 21,21' -draw 'rectangle 16,18 27,28'
cursor 239 -draw 'polygon 0,0 12,4 4,12' -draw 'line 4,4 27,27' -draw 'polygon 31,31 19,27 27,19'
cursor 240 -draw 'polygon 31,0 19,4 27,12' -draw 'line 27,4 4,27' -draw 'polygon 0,31 12,27 4,19'
cursor 241 -draw 'polygon 16,0 10,8 22,8' -draw 'rectangle 15,8 17,24' -draw 'polygon 16,31 10,24 22,24'
cursor 242 -draw 'polygon 0,16 8,10 8,22' -draw 'rectangle 8,15 24,17' -draw 'polygon 31,16 24,10 24,22'
cursor 243 -draw 'polygon 16,0 10,8 22,8' -draw 'polygon 16,31 10,24 22,24' -draw 'polygon 0,16 8,10 8,22' -draw 'polygon 31,16 24,10 24,22' -draw 'rectangle 15,8 17,24' -draw 'rectangle 8,15 24,17'
cursor 244 -fill none -stroke black -strokewidth 3 -draw 'line 16,2 16,30' -draw 'line 2,16 30,16' -stroke white -strokewidth 1 -draw 'line 16,2 16,30' -draw 'line 2,16 30,16'
cursor 245 -fill none -strokewidth 2 -draw 'circle 16,16 16,6' -draw 'line 16,0 16,31' -draw 'line 0,16 31,16'
cursor 246 -draw 'rectangle 14,2 17,29' -draw 'polygon 0,16 8,10 8,22' -draw 'polygon 31,16 23,10 23,22'
cursor 247 -draw 'rectangle 2,14 29,17' -draw 'polygon 16,0 10,8 22,8' -draw 'polygon 16,31 10,23 22,23'
cursor 248 -fill none -strokewidth 2 -draw 'arc 4,4 28,28 200,520' -fill white -draw 'polygon 26,6 31,12 22,13'
cursor 259 -draw "$arrow" -fill '#ff8080' -draw 'circle 22,22 22,16'
cursor 283 -fill none -strokewidth 2 -draw 'circle 16,16 16,9' -fill black -draw 'circle 16,16 16,14'
cursor 331 -draw "$arrow" -fill '#80ff80' -draw 'polygon 20,12 30,22 20,32'
cursor 332 -draw "$arrow" -fill '#80ff80' -draw 'polygon 30,12 20,22 30,32'

# Start-up picture: an evening sky over a row of hills, 520 x 300.
convert -size 520x300 gradient:'#1d3b74-#f4b36b' \
  -fill '#2c4a2a' -draw 'polygon 0,300 0,210 60,180 130,205 200,160 270,195 340,150 420,190 520,170 520,300' \
  -fill '#1c2f1b' -draw 'polygon 0,300 0,250 90,225 180,250 260,230 360,255 450,235 520,250 520,300' \
  -fill '#fff4c8' -draw 'circle 400,95 400,75' \
  -stroke '#ffffff' -fill none -draw 'rectangle 20,20 499,279' \
  bitmaps/bmp308.png
