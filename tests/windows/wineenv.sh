# Sourced by the scripts that run the Windows build under Wine: a virtual
# display, a silent sound server and a Wine prefix of their own, all removed
# on exit. Leaves $work (a scratch folder), $wine, DISPLAY, WINEPREFIX and
# XDG_RUNTIME_DIR set. A script that needs more tools names them:
#   wine_require xdotool convert
# wine_answer_setup_dialog answers the show's setup dialog (windowed).
# Exits 77 (skipped) when Wine or a tool is missing.

wine=/usr/lib/wine/wine64
wine_skip() { echo "skipped: $*"; exit 77; }
wine_require() {
  [ -x $wine ] || wine_skip "wine64 is not installed (scripts/setup)"
  for tool in Xvfb pulseaudio "$@"; do
    command -v "$tool" >/dev/null || wine_skip "$tool is not installed (scripts/setup)"
  done
}

work=$(mktemp -d)
wine_pids=()
wine_cleanup() {
  WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  for p in "${wine_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap wine_cleanup EXIT

# Starts the display and the sound server. Mono and Gecko are declined so that
# a new prefix asks nothing and fetches nothing.
wine_start() {
  # Xvfb takes the first free display number itself and tells it once it
  # listens there: scripts started together never share a display.
  local n=""
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  wine_pids+=($!)
  for _ in $(seq 300); do n=$(cat "$work/display" 2>/dev/null) && [ -n "$n" ] && break; sleep 0.1; done
  [ -n "$n" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
  export DISPLAY=:$n

  # Wine plays through PulseAudio; a null sink takes the samples.
  export XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L "module-null-sink sink_name=silent" -L module-native-protocol-unix >"$work/pulse.log" 2>&1 &
  wine_pids+=($!)
  for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done

  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Keys held briefly: Wine reads the keyboard state, and a press and release
# in the same instant can pass unseen.
# Waits up to 30 s for the Windows program PID to end (else fails with
# MESSAGE) and succeeds only when it ended with exit code 0.
wine_expect_exit_zero() {
  local pid=$1 code
  for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 1; done
  if kill -0 "$pid" 2>/dev/null; then echo "$2"; exit 1; fi
  set +e
  wait "$pid"
  code=$?
  set -e
  echo "exit code $code"
  [ $code -eq 0 ]
}

wine_press() { xdotool keydown "$1"; sleep 0.2; xdotool keyup "$1"; sleep 0.3; }

# Waits for the show's setup dialog (a new prefix takes a while to make),
# unticks full screen and presses Enter; fails when no dialog appears.
wine_answer_setup_dialog() {
  local dialog="" X Y WIDTH HEIGHT SCREEN WINDOW
  for _ in $(seq 120); do
    dialog=$(xdotool search --name "Halcyon 2 by quillmark" 2>/dev/null | head -1) && [ -n "$dialog" ] && break
    sleep 1
  done
  [ -n "$dialog" ] || { echo "the setup dialog did not appear"; return 1; }
  sleep 2
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # The full screen box: 24 x 87 pixels into the dialog with Wine's dialog font.
  xdotool mousemove $((X + 24)) $((Y + 87)) click 1
  sleep 0.5
  wine_press Return
}
