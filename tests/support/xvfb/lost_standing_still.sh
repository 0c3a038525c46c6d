#!/bin/sh
# Has the test program, run anew under this X server, show a window with the display guard in
# place, then ends the server under it; the program's end then stands still. Notes how the
# program ended.
#
# Usage: lost_standing_still.sh FOLDER PROGRAM: FOLDER/results gets display=, server=, lost= and
# exit=; FOLDER/err the program's standard error.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
takeserver
export SDL_VIDEODRIVER=x11 ZB_STAND_STILL_AFTER_LOSS=1 ASAN_OPTIONS=detect_leaks=0
export XDG_RUNTIME_DIR="$out/run"
rm -rf "$XDG_RUNTIME_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
: >"$out/out"
"$2" --gtest_filter='X11Guard.AnEndThatStandsStill*' >"$out/out" 2>"$out/err" &
pid=$!
# The server ends once the window is in play, not while the video system starts.
end=$(deadline)
while before "$end" && ! grep -q '^playing=1' "$out/out"; do
  kill -0 $pid 2>/dev/null || break
  sleep 0.05
done
if ! grep -q '^playing=1' "$out/out"; then
  kill $pid 2>/dev/null
  waitguarded $pid
  exit 3
fi
note display "$DISPLAY"
note server "$server"
endserver KILL
waitguarded $pid
note exit "$?"
grep '^lost=' "$out/out" >>"$results"
