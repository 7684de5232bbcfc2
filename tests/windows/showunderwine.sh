#!/usr/bin/env bash
# The Windows build as a person runs it, under Wine on a virtual display with
# a silent sound server: answer the setup dialog (untick full screen, Enter),
# let the show play, check a screenshot shows it (not black, not the dialog),
# press Escape and expect exit code 0. Skipped (77) without Wine or without
# the Windows build (make windows).
# Usage: showunderwine.sh WINDOWS_BIN_DIR
set -euo pipefail

. "$(dirname "$0")/wineenv.sh"
wine_require xdotool xwd convert
for f in halcyon2.exe data.zip murikka.mp3; do
  [ -f "$1/$f" ] || wine_skip "no $1/$f (make windows)"
done
bin=$(cd "$1" && pwd)
wine_start

mkdir -p "$work/show"
cp "$bin/halcyon2.exe" "$bin/data.zip" "$bin/murikka.mp3" "$work/show/"
cd "$work/show"
$wine halcyon2.exe >"$work/show.log" 2>&1 &
show=$!
wine_pids+=($show)

wine_answer_setup_dialog || { cat "$work/show.log"; exit 1; }

# The dialog and the report window are a few flat greys (under 300
# colours); a frame of the show is lit, shaded and textured. Loading takes
# longer in a fresh Wine prefix, so look a few times.
shows=0
for _ in $(seq 8); do
  sleep 5
  xwd -root -silent | convert xwd:- "$work/shot.png"
  mean=$(convert "$work/shot.png" -format "%[fx:mean]" info:)
  colours=$(convert "$work/shot.png" -format "%k" info:)
  echo "screenshot: mean $mean, $colours colours"
  if awk -v m="$mean" 'BEGIN { exit !(m > 0.01) }' && [ "$colours" -gt 300 ]; then shows=1; break; fi
done
# Kept beside the build for whoever looks into a failure.
cp "$work/shot.png" "$bin/../showunderwine.png"
[ $shows -eq 1 ] || { echo "the screen does not show the show"; cat "$work/show.log"; exit 1; }

window=$(xdotool search --name "Halcyon 2 by quillmark" | head -1)
xdotool windowfocus "$window" 2>/dev/null || true
wine_press Escape
wine_expect_exit_zero $show "the show did not end on Escape"
