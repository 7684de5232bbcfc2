#!/usr/bin/env bash
# package.sh BUILD_DIR: makes the Debian package from a finished build, checks
# it with lintian and desktop-file-validate, unpacks it into a temporary root
# and runs what it installed from another folder, headless. Also installs the
# build under another prefix (DESTDIR staging) and runs the capture tool there.
set -euo pipefail
build=$(readlink -f "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs the given command from an empty folder; fails on a non-zero exit or on
# a report of the show's (its texts go to standard error, the exit stays 0).
run_elsewhere() {
    local what=$1; shift
    local dir; dir=$(mktemp -d -p "$tmp")
    local rc=0
    (cd "$dir" && "$@") >"$tmp/out" 2>"$tmp/err" || rc=$?
    [ "$rc" -eq 0 ] || { cat "$tmp/err" >&2; fail "$what: exit code $rc"; }
    if grep -q '^Message: ' "$tmp/err"; then cat "$tmp/err" >&2; fail "$what: the show reported a failure"; fi
    echo "ok: $what"
}

cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack"; }
debs=("$tmp"/pkg/halcyon2_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}

lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log" >&2; fail "lintian reports errors"; }
echo "ok: lintian"

root=$tmp/root
dpkg -x "$deb" "$root"
for f in usr/bin/halcyon2 usr/bin/halcyon2-capture usr/bin/halcyon2-scene usr/libexec/halcyon2/halcyon2 \
         usr/share/halcyon2/data.zip usr/share/halcyon2/murikka.mp3 \
         usr/share/applications/halcyon2.desktop usr/share/icons/hicolor/48x48/apps/halcyon2.png \
         usr/share/man/man1/halcyon2.1.gz usr/share/man/man1/halcyon2-capture.1.gz \
         usr/share/man/man1/halcyon2-scene.1.gz \
         usr/share/doc/halcyon2/copyright usr/share/doc/halcyon2/changelog.gz; do
    [ -f "$root/$f" ] || fail "missing from the package: /$f"
done
cmp -s "$root/usr/share/halcyon2/data.zip" "$build/bin/data.zip" || fail "packaged data.zip differs from the build's"
desktop-file-validate "$root/usr/share/applications/halcyon2.desktop" || fail "desktop-file-validate"
echo "ok: desktop entry"

run_elsewhere "launcher, dialog cancelled" env HALCYON2_DIALOG=cancel "$root/usr/bin/halcyon2"
# A few seconds of the show, then Ctrl+C, which closes it with exit code 0.
run_elsewhere "launcher, show played" env HALCYON2_DIALOG=ok \
    timeout --preserve-status -k 60 -s INT 5 "$root/usr/bin/halcyon2"
run_elsewhere "capture tool, installed data found" env HALCYON2_D3D8=trace \
    "$root/usr/bin/halcyon2-capture" --to 0.5 --no-write

# The same files under another prefix, staged the way `make install DESTDIR=` does.
DESTDIR=$tmp/stage cmake --install "$build" --prefix /opt/h2 >/dev/null
[ -x "$tmp/stage/opt/h2/bin/halcyon2" ] && [ -f "$tmp/stage/opt/h2/share/halcyon2/murikka.mp3" ] || fail "staged install incomplete"
run_elsewhere "staged install, capture tool" env HALCYON2_D3D8=trace \
    "$tmp/stage/opt/h2/bin/halcyon2-capture" --to 0.5 --no-write
