#!/bin/sh
# Runs the sample game with the movie libraries hidden from the loader and clicks on through
# the prologue until its opening movie has been tried, then closes the game with Alt+F4.
#
# Usage: game_without_movie_libraries.sh FOLDER PROGRAM: the sample game in FOLDER/game; the
# libraries' names come from PROGRAM, which links the same ones; FOLDER/err gets the game's
# standard error and FOLDER/results its exit status.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
# Empty files of the libraries' names, found first, hide them: the loader finds no library in
# them.
mkdir -p "$out/hidden"
for name in $(ldd "$2" | grep -o 'lib\(avutil\|swresample\|swscale\|avcodec\|avformat\)\.so\.[0-9]*' | sort -u); do
  : >"$out/hidden/$name"
done
cd "$out/game" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
LD_LIBRARY_PATH="$out/hidden" ./zb -WINDOW 2>"$out/err" &
pid=$!
wid=$(waitnamed ZB)
[ -n "$wid" ] || { kill $pid; exit 3; }
# Start, then on through the prologue's messages until its opening movie is tried.
end=$(deadline)
while before "$end"; do
  grep -q 'QueryInterface failed' "$out/err" && break
  wid=$(xdotool search --name '^ZB$' | tail -n 1)
  xdotool mousemove --window "$wid" 202 170 click 1 mousemove --window "$wid" 500 420 click 1
  sleep 0.1
done
xdotool key --window "$wid" alt+F4
waitguarded $pid
note exit "$?"
