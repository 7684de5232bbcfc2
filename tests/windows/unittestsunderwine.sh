#!/usr/bin/env bash
# The unit tests the Windows build compiles (tests/windows/CMakeLists.txt),
# each run under Wine in one shared prefix (making a prefix takes longer than
# all the tests together), with a line per test program. Fails when any of
# them fails or does not end within its time. Skipped (77) without Wine or
# without the Windows build (make windows).
# Usage: unittestsunderwine.sh WINDOWS_TESTS_DIR
set -euo pipefail

dir=$(cd "$1" 2>/dev/null && pwd) || { echo "skipped: no $1 (make windows)"; exit 77; }
. "$(dirname "$0")/wineenv.sh"
wine_require timeout
[ -f "$dir/tests.txt" ] || wine_skip "no $dir/tests.txt (make windows)"
wine_start

# The tests' scratch folders are host folders (TMPDIR) that the Debian tools
# making their fixtures reach under the same path: the current folder is on
# Wine's Z: drive, the host's /.
cd "$work"
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
failed=0 programs=0 total=0
while read -r exe filter; do
  programs=$((programs + 1))
  log=$work/${exe%.exe}.log
  set +e
  # The first program also makes the prefix.
  timeout 300 $wine "$dir/$exe" --gtest_filter="$filter" --gtest_color=no >"$log" 2>&1
  code=$?
  set -e
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
  if [ $code -eq 0 ] && [ -n "$passed" ] && ! grep -q '^\[  FAILED  \]' "$log"; then
    echo "ok      ${exe%.exe}: $passed tests"
    total=$((total + passed))
  else
    echo "FAILED  ${exe%.exe} (exit code $code$([ $code -eq 124 ] && echo ', timed out'))"
    grep -E '^\[  FAILED  \]|Failure|error' "$log" | head -40 || tail -40 "$log"
    failed=$((failed + 1))
  fi
done <"$dir/tests.txt"
echo "$programs programs, $total tests passed, $failed programs failed"
[ $failed -eq 0 ]
