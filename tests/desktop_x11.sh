#!/bin/bash
# The real window on Xvfb, with twm as the window manager and trayer as the system tray: started
# with /r it sits in the tray, a double-click on its icon brings it back, minimised it goes back to
# the tray, SIGTERM ends it cleanly, and without a tray a minimised window stays iconified. With
# the same tray, the window's test shows a slow download's progress and a login's notification.
set -u
binary=${1:?Usage: desktop_x11.sh ORVANE_BINARY TST_WINDOW_BINARY}
window_test=${2:?Usage: desktop_x11.sh ORVANE_BINARY TST_WINDOW_BINARY}
. "$(dirname "$0")/scriptkit.sh" Xvfb twm trayer xdotool xwininfo xprop xclip
shown() { xdotool search --onlyvisible --name '^Orvane Light 0.7$' | head -n1; }
tray_icon() { xwininfo -root -tree | grep '"orvane-light"' | grep -E '22x22\+0\+0 +\+[0-9]+\+[0-9]+' | head -n1; }
# A minimise request made before the window manager has taken the window on is lost: it is repeated.
minimise() { xdotool windowminimize "$window" 2>/dev/null; }

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
until_true 'test -s "$work/display"' || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
printf 'RandomPlacement\nUsePPosition "on"\nTitleFont "fixed"\nResizeFont "fixed"\nMenuFont "fixed"\nIconFont "fixed"\nIconManagerFont "fixed"\n' >"$work/twmrc"
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 24 >/dev/null 2>&1 & tray=$!
until_true 'xwininfo -name panel >/dev/null 2>&1' || fail "trayer shows no panel"
# /r runs the server, on a port nobody answers on: server.cfg cannot ask for any free one.
port=$(free_port)
printf '[Server]\nPort=%s\n' "$port" >"$work/server.cfg"

"$binary" --app-dir "$work" /r >"$work/out1.log" 2>&1 & program=$!
until_true 'test -n "$(tray_icon)"' || fail "no icon in the tray: $(xwininfo -root -tree | grep -i -e orvane -e panel)"
[ -z "$(shown)" ] || fail "the window is on screen though started with /r"
read -r x y < <(tray_icon | sed -E 's/.*22x22\+0\+0 +\+([0-9]+)\+([0-9]+).*/\1 \2/')
# A right-click opens the icon's menu; its fourth item that can be chosen while the server runs
# copies the site's address. Repeated until it arrives, as the icon may not take clicks yet.
copy_address() { xdotool mousemove $((x + 11)) $((y + 11)) click 3 sleep 0.5 key Down Down Down Down Return; sleep 0.3; }
until_true 'copy_address; xclip -o -selection clipboard 2>/dev/null | grep -qE "^http://[0-9.]+:$port/\$"' ||
  fail "Copy Site Address in the tray menu did not copy the address: $(xclip -o -selection clipboard 2>&1)"
# An icon just mapped may not take clicks yet: the double-click is repeated until the window shows.
click_icon() { xdotool mousemove $((x + 11)) $((y + 11)) click --repeat 2 --delay 80 1; sleep 0.5; }
until_true 'click_icon; test -n "$(shown)"' || fail "a double-click on the tray icon did not show the window"
until_true 'test -z "$(tray_icon)"' || fail "the tray icon stayed after the window came back"
window=$(shown)
until_true 'minimise; test -n "$(tray_icon)"' || fail "minimising did not put the icon in the tray"
[ -z "$(shown)" ] || fail "a minimised window stayed on screen with a tray to go to"
kill "$program"
wait "$program" || fail "SIGTERM ended the program with status $?"
QT_QPA_PLATFORM=xcb "$window_test" transfers notifications >"$work/window-test.log" 2>&1 ||
  fail "the window's test on this X server: $(grep -e FAIL -e '^   Loc' -e SKIP "$work/window-test.log")"
grep -q 'PASS   : WindowTest::notifications' "$work/window-test.log" || fail "the notification was not tried"
kill "$tray" && wait "$tray"  # the tray is gone before the next program looks for one

"$binary" --app-dir "$work" >"$work/out2.log" 2>&1 &
until_true 'test -n "$(shown)"' || fail "the window does not appear without a tray"
window=$(shown)
until_true 'minimise; xprop -id "$window" WM_STATE | grep -q Iconic' ||
  fail "without a tray the minimised window is not iconified: $(xprop -id "$window" WM_STATE)"
echo "PASS"
