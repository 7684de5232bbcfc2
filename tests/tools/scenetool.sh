#!/usr/bin/env bash
# halcyon2-scene as a content maker runs it: a scene out of data.zip into a
# PNG that ImageMagick (not our code) decodes at the asked size and that
# shows a lit, textured scene; the timing mode; and clear failures with
# their exit codes for bad arguments and a scene that does not load.
# Usage: scenetool.sh BIN_DIR
set -euo pipefail
cd "$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tool=./halcyon2-scene
fail() { echo "FAIL: $*"; exit 1; }

$tool --time 15 --size 200x150 --out "$tmp/maasto.png" data.zip/landscape/maasto.klx
[ "$(identify -format '%m %wx%h' "$tmp/maasto.png")" = "PNG 200x150" ] || fail "not a 200x150 PNG"
colours=$(convert "$tmp/maasto.png" -format %k info:)
[ "$colours" -gt 500 ] || fail "the frame has only $colours colours"

out=$($tool --bench 3 --step 0.5 --size 64x48 data.zip/kukka/kukka.klx)
[[ $out == *"3 frames at 64x48, mean "*" ms per frame"* ]] || fail "bench printed: $out"
[ ! -e kukka.png ] || fail "--bench without --out wrote a file"
# Where no mesh covers the frame it keeps the clear colour, the fog's:
# channel order and the row filters of the PNG show there.
$tool --size 64x48 --out "$tmp/kukka.png" data.zip/kukka/kukka.klx
sky=$(convert "$tmp/kukka.png" -format "%[hex:p{0,0}] %[hex:p{40,3}]" info:)
[ "$sky" = "2A1040 2A1040" ] || fail "the sky is $sky, not the fog colour 2A1040"

# Expected exit code, then the text the message must hold, then arguments.
expect() {
  local code=$1 text=$2 rc=0
  shift 2
  $tool "$@" >"$tmp/out" 2>&1 || rc=$?
  [ $rc -eq "$code" ] || fail "$* exited $rc, not $code: $(cat "$tmp/out")"
  grep -qF -- "$text" "$tmp/out" || fail "$* said: $(cat "$tmp/out")"
}
expect 0 "usage: halcyon2-scene" --help
expect 2 "no scene given"
expect 2 "bad value for --size" --size 10x10 data.zip/kukka/kukka.klx
expect 2 "bad value for --time" --time soon data.zip/kukka/kukka.klx
expect 2 "unknown option --fast" --fast data.zip/kukka/kukka.klx
expect 2 "no camera '7'" --camera 7 data.zip/kukka/kukka.klx
expect 1 "cannot access file: data.zip/kukka/none.klx" data.zip/kukka/none.klx
printf 'KLX0' >"$tmp/short.klx"
expect 1 "Not a KLX file" "$tmp/short.klx"
printf 'KLX garbage' >"$tmp/nocamera.klx"
expect 1 "has no camera" "$tmp/nocamera.klx"
expect 1 "cannot write" --out "$tmp/no/such/folder.png" data.zip/kukka/kukka.klx
echo "halcyon2-scene: all checks passed"
