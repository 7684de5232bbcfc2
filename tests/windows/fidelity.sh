#!/usr/bin/env bash
# The same scene frames from the Linux build (our Direct3D 8 on OpenGL) and
# from the Windows build under Wine (Wine's Direct3D 8 on OpenGL), both drawn
# by halcyon2-scene at 640x480, set side by side: for each of the show's six
# scenes at three times of the part that shows it, the share of pixels that
# differ by more than 8/255 in any channel. A frame over 0.5% fails unless
# it is listed below as a known deviation of Wine.
# Skipped (77) without Wine or without the Windows build (make windows).
# Usage: fidelity.sh LINUX_BIN_DIR WINDOWS_BIN_DIR [--bench N] [--keep DIR]
#   --bench N   also time N frames of each scene on both sides (the same
#               frame each time) and print the mean milliseconds per frame
#   --keep DIR  keep both frames and a difference picture of each in DIR
set -euo pipefail

linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
shift 2
bench=0 keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --bench) bench=$2; shift 2 ;;
    --keep) mkdir -p "$2"; keep=$(cd "$2" && pwd); shift 2 ;;
    *) echo "unknown option $1"; exit 2 ;;
  esac
done

. "$(dirname "$0")/wineenv.sh"
wine_require convert
for f in halcyon2-scene.exe data.zip; do
  [ -f "$windows/$f" ] || wine_skip "no $windows/$f (make windows)"
done
for f in halcyon2-scene data.zip; do
  [ -f "$linux/$f" ] || wine_skip "no $linux/$f (build the Linux tool first)"
done
wine_start

# Scene, scene time and camera of each frame: early, middle and late in the
# part that shows the scene, at the times and through the cameras that part
# uses (the light floor moves on one camera every five seconds; part 4 plays
# the crispbread through camera 0, then camera 1 from 10.9 s behind).
frames="
smokeandcredits/scene/vempula 2 0
smokeandcredits/scene/vempula 20 0
smokeandcredits/scene/vempula 38 0
lightfloor/ground 2 0
lightfloor/ground 10 2
lightfloor/ground 18 3
muikula/muikula 0.3 0
muikula/muikula 1.5 0
muikula/muikula 2.7 0
nakyleipa/nakyleipa 2 0
nakyleipa/nakyleipa 12 0
nakyleipa/nakyleipa 14.1 1
kukka/kukka 1 0
kukka/kukka 7 0
kukka/kukka 14 0
landscape/maasto 2 0
landscape/maasto 15 0
landscape/maasto 30 0
"

# Frames where Wine breaks a Direct3D 8 rule, as "scene time: why"; they are
# reported but do not fail the run. None so far. What does differ, below the
# goal: single pixels along silhouettes and where two surfaces cross (the
# coast line), where the drivers round coverage and depth apart, and in the
# crispbread a dashed ring
# where the hidden ray source touches the bread's surface (at radius 30 and
# at the hole): two meshes meeting at equal depth, which Direct3D leaves to
# the driver, so either side is right.
known_deviations=""

goal=0.5
out=$work/frames
mkdir -p "$out"
# Wine runs the tool from a copy beside the data, by relative names, so no
# path needs translating between the two file systems.
mkdir -p "$work/win"
cp "$windows/halcyon2-scene.exe" "$windows/data.zip" "$work/win/"

# Share of pixels whose largest channel difference is above 8/255 (the
# threshold lies between 8 and 9 steps), in percent.
differing() {
  convert "$1" "$2" -compose difference -composite -channel RGB -separate +channel \
    -evaluate-sequence max -threshold 3.3333% -format "%[fx:mean*100]" info:
}

failed=0
printf "%-12s %7s %6s %10s\n" scene time camera "differing%"
while read -r scene time camera; do
  [ -n "$scene" ] || continue
  name=$(basename "$scene")-$time-$camera
  (cd "$linux" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    ./halcyon2-scene --time "$time" --camera "$camera" --out "$out/$name-linux.png" "data.zip/$scene.klx")
  (cd "$work/win" && $wine halcyon2-scene.exe --time "$time" --camera "$camera" --out "$name-wine.png" \
    "data.zip/$scene.klx" </dev/null 2>>"$work/wine.log") ||
    { echo "the Windows tool failed on $scene at $time:"; cat "$work/wine.log"; exit 1; }
  mv "$work/win/$name-wine.png" "$out/"
  share=$(differing "$out/$name-linux.png" "$out/$name-wine.png")
  note=""
  if awk -v s="$share" -v g=$goal 'BEGIN { exit !(s >= g) }'; then
    why=$(printf "%s\n" "$known_deviations" | awk -v k="$(basename "$scene") $time" 'index($0, k ":") == 1 { sub(/^[^:]*: /, ""); print }')
    if [ -n "$why" ]; then note="  known Wine deviation: $why"; else note="  OVER ${goal}%"; failed=1; fi
  fi
  printf "%-12s %7s %6s %10.3f%s\n" "$(basename "$scene")" "$time" "$camera" "$share" "$note"
  if [ -n "$keep" ]; then
    cp "$out/$name-linux.png" "$out/$name-wine.png" "$keep/"
    compare -fuzz 3.3333% "$out/$name-linux.png" "$out/$name-wine.png" "$keep/$name-diff.png" 2>/dev/null || true
  fi
done <<<"$frames"

if [ "$bench" -gt 0 ]; then
  printf "\n%-12s %12s %12s   (ms per frame, %s frames at 640x480, same frame)\n" scene linux wine "$bench"
  for scene in $(printf "%s\n" "$frames" | awk 'NF { print $1 }' | uniq); do
    l=$(cd "$linux" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
      ./halcyon2-scene --bench "$bench" "data.zip/$scene.klx" | sed 's/.*mean \([0-9.]*\) ms.*/\1/')
    w=$(cd "$work/win" && $wine halcyon2-scene.exe --bench "$bench" "data.zip/$scene.klx" </dev/null 2>>"$work/wine.log" |
      tr -d '\r' | sed 's/.*mean \([0-9.]*\) ms.*/\1/')
    printf "%-12s %12s %12s\n" "$(basename "$scene")" "$l" "$w"
  done
fi
exit $failed
