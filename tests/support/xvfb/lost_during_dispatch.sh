#!/bin/sh
# Has the test program, run anew under this X server, end its video library's connection to the
# server at the first request of a kind, while events wait to be handled, and handle them.
#
# Usage: lost_during_dispatch.sh FOLDER PROGRAM REQUEST: REQUEST is the X protocol number of the
# request; FOLDER/results gets the program's lines and exit=, its status.
# shellcheck source-path=SCRIPTDIR source=../hang_guard.sh
. "$(cd "$(dirname "$0")" && pwd)/../hang_guard.sh"
export SDL_VIDEODRIVER=x11 ZB_LOSE_DURING_DISPATCH="$3" ASAN_OPTIONS=detect_leaks=0
export XDG_RUNTIME_DIR="$1/run"
rm -rf "$XDG_RUNTIME_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The program ends at once, or hangs.
timeout "$hang_guard" "$2" --gtest_filter='X11Guard.ALostConnection*' >"$1/out" 2>"$1/err"
status=$?
grep -E '^[a-z]+=' "$1/out" >"$1/results"
echo "exit=$status" >>"$1/results"
