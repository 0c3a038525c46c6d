#!/bin/sh
# Starts the game and kills the X server under it the given time later, and notes how the game
# ended.
#
# Usage: server_end_at_start.sh FOLDER SECONDS: the sample game in FOLDER/game, whose err gets
# the game's standard error; FOLDER/results gets the key=value lines.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
server=$(tr -d ' ' <"/tmp/.X${DISPLAY#:}-lock")
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
note display "$DISPLAY"
./zb 2>err &
pid=$!
sleep "$2"
kill -KILL "$server"
waitguarded $pid
note exit "$?"
