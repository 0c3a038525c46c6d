#!/bin/sh
# Starts the sample game to its title, then closes it and ends the X server under it moments
# apart, and notes how the game ended and what it wrote.
#
# Usage: close_and_server_end.sh FOLDER FIRST SECONDS THEN: the sample game in FOLDER/game,
# whose err gets the game's standard error; FOLDER/results gets the key=value lines. FIRST and
# THEN are each close (SIGTERM to the game), windowclose (its window destroyed from outside) or
# end (the server killed); THEN comes SECONDS after FIRST. THEN may also be throttle: from then
# on the game runs 10 ms of every second until it ends (stopped and continued, as a stopped job
# or one starved beside busier work runs).
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
takeserver
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11

act() {
  case $1 in
    close) kill -TERM $pid ;;
    windowclose) xdotool search --name '^ZB$' windowclose ;;
    end) endserver KILL ;;
    throttle)
      # Ends with the game: a stop then fails.
      while kill -STOP $pid 2>/dev/null; do
        sleep 0.99
        kill -CONT $pid 2>/dev/null
        sleep 0.01
      done &
      ;;
  esac
}

# The settings and the save are both written only at the end here.
rm -f ZB.INI ZBSys.sav
to_title
note display "$DISPLAY"
note server "$server"
act "$2"
sleep "$3"
act "$4" 2>/dev/null
waitguarded $pid
note exit "$?"
endtrace
note ini "$([ -f ZB.INI ] && echo yes || echo no)"
note save "$([ -f ZBSys.sav ] && echo yes || echo no)"
