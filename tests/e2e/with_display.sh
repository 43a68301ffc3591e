#!/usr/bin/env bash
# Runs the progress window's tests as a user's desktop shows them: the suite
# ProgressWindowOnADisplay under a virtual display of its own (Xvfb, on a display number it
# finds free), then ProgressWindowWithoutADisplay with no display at all. Each runs in a Wine
# prefix of its own, whose server and desktop know that display or none; the prefix shares
# drive C: with the project's prefix and has copies of its registry.
#
# Usage: with_display.sh <scratch parent folder> <test program>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
scratch_parent=$1
program=$2

shared_prefix=$WINEPREFIX
scratch=$(mktemp -d "$scratch_parent/display.XXXXXX")
export WINEPREFIX=$scratch/prefix
xvfb=

end_server() {
  "$wine_server" -k 2>/dev/null || true
  "$wine_server" -w 2>/dev/null || true
}

clean_up() {
  end_server
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap clean_up EXIT

mkdir -p "$WINEPREFIX/dosdevices"
ln -s "$shared_prefix/drive_c" "$WINEPREFIX/dosdevices/c:"
ln -s / "$WINEPREFIX/dosdevices/z:"
# With the update stamp the prefix counts as up to date, so Wine does not rebuild it.
cp "$shared_prefix/system.reg" "$shared_prefix/user.reg" "$shared_prefix/userdef.reg" \
  "$shared_prefix/.update-timestamp" "$WINEPREFIX/"

# Runs the tests of one suite under a persistent server of the prefix's own, started with the
# environment's display (or none), and ends it, so that the next suite's desktop starts anew.
run_suite() {  # suite
  local status=0
  "$wine_server" -p
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1
  "$wine_loader" "$program" "--gtest_filter=$1.*" || status=$?
  end_server
  return $status
}

# Xvfb writes the number of the display it took to descriptor 3 once it accepts clients.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$scratch/display" \
  >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 600); do
  [ ! -s "$scratch/display" ] || break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "with_display.sh: Xvfb did not start:" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi

status=0
export DISPLAY=:$(cat "$scratch/display")
run_suite ProgressWindowOnADisplay || status=1
unset DISPLAY
run_suite ProgressWindowWithoutADisplay || status=1
exit $status
