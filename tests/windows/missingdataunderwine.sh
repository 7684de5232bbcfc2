#!/usr/bin/env bash
# The Windows build under Wine without its data.zip, as a person would meet
# it: answer the setup dialog, and the report window appears with the failure
# ("cannot access file: ..."), read from the window itself by windowprobe.exe
# in the same Wine; press its Finish button and expect exit code 0. Skipped
# (77) without Wine or without the Windows build (make windows).
# Usage: missingdataunderwine.sh WINDOWS_BUILD_DIR
set -euo pipefail

build=$(cd "$1" 2>/dev/null && pwd) || { echo "skipped: no $1 (make windows)"; exit 77; }
. "$(dirname "$0")/wineenv.sh"
wine_require xdotool timeout
for f in bin/halcyon2.exe bin/murikka.mp3 tests/windowprobe.exe; do
  [ -f "$build/$f" ] || wine_skip "no $build/$f (make windows)"
done
wine_start

mkdir -p "$work/show"
cp "$build/bin/halcyon2.exe" "$build/bin/murikka.mp3" "$work/show/"
cd "$work/show"
$wine halcyon2.exe >"$work/show.log" 2>&1 &
show=$!
wine_pids+=($show)

wine_answer_setup_dialog || { cat "$work/show.log"; exit 1; }

# The report names the file it could not open; its texts also go to
# standard error.
caption="The Corvid 3D/Multimedia SDK Exception Handler"
probe() { timeout 150 $wine "$build/tests/windowprobe.exe" "$caption" 120 "$@" >"$work/probe.log" 2>&1; }
if ! probe; then
  echo "the report window did not appear"; cat "$work/probe.log" "$work/show.log"; exit 1
fi
message=$(sed -n 's/^Message: //p' "$work/show.log" | tr -d '\r' | head -1)
echo "message: $message"
case $message in "cannot access file: data.zip"*) ;; *) echo "not the missing data.zip"; cat "$work/show.log"; exit 1 ;; esac
probe "Message:" "$message" || true
cat "$work/probe.log"
grep -qxF "shows \"$message\"" <(tr -d '\r' <"$work/probe.log") || { echo "the window does not show the message"; exit 1; }

# Finish, pressed as a person presses it: the pointer on the button, a click.
finish=$(tr -d '\r' <"$work/probe.log" | sed -n 's/^child Button "Finish" at \([0-9-]*\) \([0-9-]*\)$/\1 \2/ip' | head -1)
[ -n "$finish" ] || { echo "the report window has no Finish button"; exit 1; }
xdotool mousemove $finish click 1
wine_expect_exit_zero $show "the show did not end on Finish"
