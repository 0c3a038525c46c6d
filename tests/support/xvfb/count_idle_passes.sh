#!/bin/sh
# Has the test program, run anew under this X server, show one frame and count the passes of
# its idle loop's pump in a second with nothing to do.
#
# Usage: count_idle_passes.sh FOLDER PROGRAM: FOLDER/results gets presented= and passes=.
# shellcheck source-path=SCRIPTDIR source=../hang_guard.sh
. "$(cd "$(dirname "$0")" && pwd)/../hang_guard.sh"
export SDL_VIDEODRIVER=x11 ZB_COUNT_IDLE_PASSES=1 ASAN_OPTIONS=detect_leaks=0
export XDG_RUNTIME_DIR="$1/run"
rm -rf "$XDG_RUNTIME_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
timeout "$hang_guard" "$2" --gtest_filter='X11WindowOnXvfb.AnIdleWindow*' | grep -E '^(presented|passes)=' >"$1/results"
