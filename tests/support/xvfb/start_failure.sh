#!/bin/sh
# Starts the program where its start fails and notes the message boxes it shows, what stood
# beside them and how the program ended.
#
# Usage: start_failure.sh FOLDER WHAT: the program in FOLDER, the whole sample game in
# FOLDER/game; FOLDER/results gets the key=value lines, FOLDER/NAME.err each run's standard
# error. WHAT is one of
#   sound    no sound device: its box over the splash, closed with Return
#   screen   a 640x480 screen in window mode: the screen's box, then the failed creation's
#   signals  SIGTERM, then SIGINT, while the sound device's box stands
#   killed   killed outright while the sound device's box stands, then the sample game started
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0

# start NAME AUDIODRIVER starts the program in window mode without settings. The stops at their
# default, as at a terminal, whatever the script inherited: a script's background job would start
# with SIGINT ignored, and the program keeps an ignored one ignored.
start() {
  rm -f ZB.INI
  SDL_AUDIODRIVER=$2 env --default-signal=INT,TERM,HUP ./zb -WINDOW 2>"$1.err" &
  pid=$!
}

finish() {
  waitguarded $pid
  note "$1exit" "$?"
}

# place WINDOW prints the window's left, top, width and height.
place() {
  xdotool getwindowgeometry "$1" |
    sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p; s/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' | tr '\n' ' '
}

# closebox KEY CAPTION waits for the box titled CAPTION, notes whether a game window stood beside
# it and closes it with Return; KEY=none when no box came.
closebox() {
  if box=$(waitnamed "$2"); then
    note "$1" shown
    note "$1game" "$(named ZB | wc -l)"
    xdotool windowfocus --sync "$box" key Return
  else
    note "$1" none
  fi
}

case $2 in
sound)
  # Its box, with the splash still up and no game window yet. The splash is drawn before the
  # box comes; its shot is taken then, with what the box covers of it blacked out.
  start sound nosuchdriver
  splash=$(waitnamed Splash)
  xdotool getwindowgeometry "$splash" | sed -n 's/.*Geometry: /splash=/p' >>"$results"
  if box=$(waitnamed Error); then
    # shellcheck disable=SC2046 # four numbers each
    set -- $(place "$splash") $(place "$box")
    import -window root -depth 8 splash.ppm
    note splashmean "$(convert splash.ppm -fill black -draw "rectangle $5,$6 $(($5 + $7 - 1)),$(($6 + $8 - 1))" \
      -crop "$3x$4+$1+$2" -format '%[fx:int(255*mean)]' info:)"
  fi
  closebox soundbox Error
  finish sound
  ;;
screen)
  # While the second box stands, the screen and its place are taken: what the first covered of
  # the splash must show the splash again.
  start screen dummy
  closebox screenbox Error
  if box=$(waitnamed 'QJ Error'); then
    import -window root -depth 8 second.ppm
    # shellcheck disable=SC2046 # four numbers
    set -- $(place "$box")
    note boxx "$1"
    note boxy "$2"
    note boxw "$3"
    note boxh "$4"
  fi
  closebox initbox 'QJ Error'
  finish screen
  ;;
signals)
  # The program ends in order at once and takes its box with it.
  for name in term int; do
    signal=$(echo $name | tr '[:lower:]' '[:upper:]')
    start "$name" nosuchdriver
    if waitnamed Error >/dev/null; then
      note "${name}box" shown
      kill "-$signal" $pid
    else
      note "${name}box" none
    fi
    finish "$name"
    note "${name}left" "$(named Error | wc -l)"
    note "${name}ini" "$([ -f ZB.INI ] && echo yes || echo no)"
  done
  ;;
killed)
  # The box's own process outlives the program: the next start is not taken for a second copy.
  # It runs, and shows its window.
  SDL_AUDIODRIVER=nosuchdriver ./zb -WINDOW 2>killed.err &
  pid=$!
  if waitnamed Error >/dev/null; then
    note killedbox shown
    kill -KILL $pid
  else
    note killedbox none
  fi
  wait $pid
  note orphans "$(named Error | wc -l)"
  SDL_AUDIODRIVER=dummy ./game/zb -WINDOW 2>next.err &
  pid=$!
  window=none
  end=$(deadline)
  while before "$end"; do
    [ -n "$(named ZB)" ] && { window=shown; break; }
    kill -0 $pid 2>/dev/null || break
    sleep 0.05
  done
  note nextwindow $window
  kill -TERM $pid 2>/dev/null
  finish next
  for w in $(named Error); do xdotool windowfocus --sync "$w" key Return; done
  ;;
esac
