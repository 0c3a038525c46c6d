#!/bin/sh
# Starts the sample game to its title twice and closes it without a window manager, first by
# destroying its window from outside, then with Alt+F4, and notes how each run ended.
#
# Usage: close_in_order.sh FOLDER: the sample game in FOLDER/game; FOLDER/results gets the
# key=value lines.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11

# closewith HOW closes the game (destroyed: its window destroyed; altf4: Alt+F4) once its title
# stands, when the game form whose end writes the settings exists.
closewith() {
  rm -f ZB.INI
  to_title
  wid=$(waitnamed ZB)
  [ -n "$wid" ] || { kill $pid; exit 3; }
  case $1 in
    destroyed) xdotool windowclose "$wid" ;;
    altf4) xdotool windowfocus --sync "$wid" key alt+F4 ;;
  esac
  waitguarded $pid
  note "$1" "$?"
  endtrace
  note "$1ini" "$([ -f ZB.INI ] && echo yes || echo no)"
}

closewith destroyed
closewith altf4
