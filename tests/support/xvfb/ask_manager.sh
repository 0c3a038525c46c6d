#!/bin/sh
# Asks the test program, run anew under this X server, whether it sees a window manager: with
# no marker on the root window, then after each kind of marker manager_marker.py leaves.
#
# Usage: ask_manager.sh FOLDER PROGRAM: FOLDER/results gets NAME=yes|no|unknown for none, live,
# dead and stranger.
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../hang_guard.sh
. "$here/../hang_guard.sh"
results=$1/results
program=$2
export SDL_VIDEODRIVER=x11 ZB_ASK_WINDOW_MANAGER=1 ASAN_OPTIONS=detect_leaks=0
ask() {
  timeout "$hang_guard" "$program" --gtest_filter='X11WindowOnXvfb.AManager*' | sed -n "s/^manager=/$1=/p" >>"$results"
}
ask none
# Each marker replaces the one before on the root window.
for kind in live dead stranger; do
  python3 "$here/manager_marker.py" $kind && ask $kind
done
