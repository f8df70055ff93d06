#!/bin/bash
# The real program's window on a real X server (Xvfb), with twm as the window manager and trayer
# as the system tray: started with /r it sits in the tray while the site answers, a double-click
# on its icon brings the window back, minimising hides it in the tray again, and without a tray
# minimising leaves it iconified (on the taskbar) instead of hidden.
# Usage: desktop_x11.sh ORVANE_BINARY
set -u
binary=$1
for tool in Xvfb twm trayer xdotool xwininfo xprop curl; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/test.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Polls `$@` for up to 20 seconds.
until_true() { for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done; return 1; }

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_true test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
printf 'RandomPlacement\nUsePPosition "on"\nTitleFont "fixed"\nResizeFont "fixed"\nMenuFont "fixed"\nIconFont "fixed"\nIconManagerFont "fixed"\n' >"$work/twmrc"
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
pids+=($!)

port=$((20000 + RANDOM % 20000))
mkdir -p "$work/app/docs"
echo "tray test" >"$work/app/docs/index.html"
printf '[Server]\nPort=%s\nHttpHeaders=1\n' "$port" >"$work/app/server.cfg"

visible() { xdotool search --onlyvisible --name '^Orvane Light 0.7$' >/dev/null 2>&1; }
tray_icon() { xwininfo -root -tree | grep '"orvane-light"' | grep -E '22x22\+0\+0 +\+[0-9]+\+[0-9]+' | head -n1; }
site_answers() { curl -s "http://127.0.0.1:$port/" | grep -q "tray test"; }

# 1. With a tray, started with /r.
trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 24 >/dev/null 2>&1 &
tray=$!
pids+=($tray)
sleep 1
"$binary" --app-dir "$work/app" /r >"$work/out1.log" 2>&1 &
program=$!
pids+=($program)
until_true site_answers || fail "the site does not answer"
until_true test -n "$(tray_icon)" || fail "no icon in the tray: $(xwininfo -root -tree | grep -i -e orvane -e panel)"
visible && fail "the window is on screen though started with /r"

# 2. A double-click on the icon brings the window back, and the icon goes.
read -r x y < <(tray_icon | sed -E 's/.*22x22\+0\+0 +\+([0-9]+)\+([0-9]+).*/\1 \2/')
xdotool mousemove $((x + 11)) $((y + 11)) click --repeat 2 --delay 80 1
until_true visible || fail "a double-click on the tray icon did not show the window"
until_true test -z "$(tray_icon)" || fail "the tray icon stayed after the window came back"

# 3. Minimised, it goes back to the tray. (A request made before the window manager has taken the
# window on is lost, so it is repeated.)
minimise() {
  xdotool windowminimize "$1" 2>/dev/null
  sleep 0.3
  eval "$2"
}
window=$(xdotool search --onlyvisible --name '^Orvane Light 0.7$' | head -n1)
until_true minimise "$window" 'test -n "$(tray_icon)"' || fail "minimising did not put the icon in the tray"
visible && fail "a minimised window stayed on screen with a tray to go to"
kill "$program"
wait "$program" 2>/dev/null
kill "$tray"

# 4. Without a tray, minimising leaves it iconified, not hidden.
"$binary" --app-dir "$work/app" >"$work/out2.log" 2>&1 &
program=$!
pids+=($program)
until_true visible || fail "the window does not appear"
window=$(xdotool search --onlyvisible --name '^Orvane Light 0.7$' | head -n1)
until_true minimise "$window" "xprop -id $window WM_STATE | grep -q Iconic" ||
  fail "without a tray the minimised window is not iconified: $(xprop -id "$window" WM_STATE)"
kill -TERM "$program"
wait "$program"
status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended the program with status $status"
echo "PASS"
