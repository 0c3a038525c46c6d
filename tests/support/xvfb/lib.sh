# Shell functions shared by the scripts that run the program under a virtual X server.
# shellcheck shell=sh
# hang_guard: the one limit on a wait, in seconds.
# shellcheck source-path=SCRIPTDIR source=../hang_guard.sh
. "$(dirname "${here:?}")/hang_guard.sh"

# note KEY VALUE adds the line KEY=VALUE to the results file the script names in results.
note() {
  echo "$1=$2" >>"${results:?}"
}

# named NAME prints the windows titled exactly NAME. Message boxes carry their title as UTF-8
# text, which xdotool's name search does not match.
named() {
  for w in $(xdotool search '.*' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && echo "$w"
  done
  return 0
}

# deadline prints when a wait begun now meets the hang guard, for before: a wait that polls for
# something that must happen goes on while "before END" holds.
deadline() {
  echo $(($(date +%s) + hang_guard))
}

before() {
  [ "$(date +%s)" -lt "$1" ]
}

# waitnamed NAME waits (up to the hang guard) for a window titled NAME and prints it. Not
# xdotool's own wait: a window that closes while it looks (the splash) ends it with an X error.
waitnamed() {
  named_end=$(deadline)
  while before "$named_end"; do
    w=$(named "$1" | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.05
  done
  return 1
}

# waitguarded PID waits for the program started as PID and returns its exit status; one still
# running at the hang guard is killed (status 137). The guard watches rather than sleeps, so
# that it ends with the program and nothing of it outlives the script; its output is kept off
# the script's, which the test would otherwise wait to see closed.
waitguarded() {
  (
    end=$(deadline)
    while kill -0 "$1" 2>/dev/null; do
      [ "$(date +%s)" -ge "$end" ] && kill -KILL "$1"
      sleep 0.1
    done
  ) >/dev/null 2>&1 &
  guard=$!
  wait "$1"
  waited=$?
  wait "$guard"
  return $waited
}

# settled waits (up to the hang guard) until the screen shows a picture that has stopped changing:
# shots half a second apart, twice in a row differing in under a tenth of their pixels, the
# screen not black. The title fades in after its window shows, changing every pixel; a fixed
# wait misses the fade's end on a busy machine. What moves on a title that stands (the stars, the
# pulsing glow of the button under the pointer, scaled up in full screen) changes less. It leaves
# its shots in the working folder.
settled() {
  import -window root -depth 8 settle-a.ppm
  steady=0
  settle_end=$(deadline)
  while before "$settle_end"; do
    sleep 0.5
    import -window root -depth 8 settle-b.ppm
    lit=$(convert settle-b.ppm -format '%[fx:int(1000*mean)]' info:)
    pixels=$(convert settle-b.ppm -format '%[fx:w*h]' info:)
    changed=$(compare -metric AE settle-a.ppm settle-b.ppm null: 2>&1 | awk '{print int($1)}')
    mv settle-b.ppm settle-a.ppm
    if [ "$lit" -gt 30 ] && [ "$changed" -lt $((pixels / 10)) ]; then
      steady=$((steady + 1))
      [ $steady -ge 2 ] && return 0
    else
      steady=0
    fi
  done
  return 1
}

# to_title starts the game with its start-up trace on the pipe "trace" and waits (up to the hang
# guard) until the title has been presented; pid is the game's. The trace goes on to "err";
# endtrace waits until all of it is there. The stops that a script sends it are at their default,
# whatever the script inherited.
to_title() {
  rm -f trace
  mkfifo trace
  ZB_TRACE_STARTUP=1 env --default-signal=INT,TERM,HUP ./zb 2>trace &
  # shellcheck disable=SC2034 # the caller's
  pid=$!
  exec 3<trace
  : >err
  # A shell reads a pipe a byte at a time: what follows the title's line stays for the cat.
  # shellcheck disable=SC2016 # expanded by the inner shell
  timeout "$hang_guard" sh -c 'while IFS= read -r line; do
    echo "$line" >>err
    case "$line" in *"first frame presented after: title"*) exit 0 ;; esac
  done' <&3
  cat <&3 >>err &
  tracer=$!
  exec 3<&-
}

endtrace() {
  waitguarded "$tracer"
}

# takeserver sets server to the process of this display's X server, named in its lock file, and
# display_number to its number. A server that endserver SIGNAL kills leaves its lock file and
# socket behind, and xvfb-run -a passes over every number with a lock file, climbing into the
# numbers of other jobs: both are removed when the script ends, however it ends, as long as the
# lock still names that server.
takeserver() {
  display_number=${DISPLAY#*:}
  display_number=${display_number%%.*}
  server=$(tr -d ' ' <"/tmp/.X$display_number-lock" 2>/dev/null)
  # Another job's script that killed its own server on this number may have removed the lock
  # just as this server took it over: the run is tried again on another display.
  case $server in
    '' | *[!0-9]*) exit 3 ;;
  esac
  server_ended=no
  trap leftovers EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

endserver() {
  kill "-$1" "$server" && server_ended=yes
}

leftovers() {
  [ "$server_ended" = yes ] || return 0
  [ "$(tr -d ' ' <"/tmp/.X$display_number-lock" 2>/dev/null)" = "$server" ] || return 0
  # The socket first: a server that takes the number makes its lock before its socket.
  rm -f "/tmp/.X11-unix/X$display_number"
  rm -f "/tmp/.X$display_number-lock"
}
