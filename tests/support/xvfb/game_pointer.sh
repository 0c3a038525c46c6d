#!/bin/sh
# Starts the sample game in full screen without a window manager on a 1280x720 screen with the
# pointer already in place, and takes shots of the title before and after the pointer moves,
# also once the window has been moved and resized from outside.
#
# Usage: game_pointer.sh FOLDER: the sample game in FOLDER/game; the shots and the results go to
# FOLDER.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11

# still NAME [X Y WIDTH HEIGHT BAR] saves as FOLDER/NAME.ppm the lower half of the window
# (buttons, sea, the pointer's place; the stars are above) at X,Y of WIDTHxHEIGHT, whose picture
# has black bars BAR pixels wide at its sides, once the title stands scaled in its box, the bars
# black, and three shots in a row agree, waiting up to the hang guard. A slow start stands
# still too, on a black screen with only the cursor on it, or with the picture at its first
# size: the title lights a good share of the half (about a sixth of full brightness on
# average), the cursor alone almost none.
still() {
  x=${2:-0} y=${3:-0} w=${4:-1280} h=${5:-720} bar=${6:-160}
  half=$((h / 2))
  now=$out/now.ppm last=$out/last.ppm
  rm -f "$last"
  same=0
  end=$(deadline)
  while before "$end"; do
    import -window root -crop "${w}x$half+$x+$((y + half))" -depth 8 "$now"
    lit=$(convert "$now" -format '%[fx:int(1000*mean)]' info:)
    left=$(convert "$now" -crop "${bar}x$half+0+0" -format '%[fx:int(255*maxima)]' info:)
    right=$(convert "$now" -crop "${bar}x$half+$((w - bar))+0" -format '%[fx:int(255*maxima)]' info:)
    if [ "$lit" -gt 50 ] && [ "$left" -eq 0 ] && [ "$right" -eq 0 ] && cmp -s "$now" "$last"; then
      same=$((same + 1))
      [ $same -ge 2 ] && break
    else
      same=0
    fi
    mv "$now" "$last"
    sleep 0.2
  done
  mv "$now" "$out/$1.ppm"
}

sed -i 's/WindowMode=ON/WindowMode=OFF/' ZB.INI
xdotool mousemove 1000 600
./zb 2>/dev/null &
pid=$!
wid=$(waitnamed ZB)
[ -n "$wid" ] || { kill $pid; exit 3; }
# The window is made at one size and covers the screen later, how much later depends on the
# machine: the first shot worth comparing is of the screen-sized window.
end=$(deadline)
while before "$end"; do
  for w in $(xdotool search --name '^ZB$'); do xdotool getwindowgeometry "$w"; done |
    grep -q 'Geometry: 1280x720' && break
  sleep 0.2
done
still first
xdotool mousemove 900 500
xdotool mousemove 1000 600
still moved
note pointer "$(xdotool getmouselocation | cut -d' ' -f1-2)"
# Then, once the pointer has moved (after which the video library's idea of it is stale), the
# window is moved away from the screen's corner and made smaller under the still pointer: the
# picture, now in an 800x600 box at (280, 100), shows the cursor where the pointer is at once.
# The pointer stands over the sea, not on a lit button, whose glow pulses and would never stand
# still for the shots.
xdotool mousemove 900 600
still over
w=$(xdotool search --name '^ZB$' | tail -n 1)
xdotool windowmove "$w" 200 100
xdotool windowsize "$w" 960 600
still placed 200 100 960 600 80
xdotool mousemove 700 400
xdotool mousemove 900 600
still placedmoved 200 100 960 600 80
python3 "$here/close_window.py" "$(xdotool search --name '^ZB$' | tail -n 1)"
waitguarded $pid
note exit "$?"
