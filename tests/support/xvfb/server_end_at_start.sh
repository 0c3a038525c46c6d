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
takeserver
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
note display "$DISPLAY"
note server "$server"
./zb 2>err &
pid=$!
sleep "$2"
endserver KILL
waitguarded $pid
note exit "$?"
