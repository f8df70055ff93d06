#!/bin/bash
# Takes the README's screenshots under Xvfb: the main window serving the sample site with a few
# log lines and a download under way, the preferences dialog, the site's address as a QR code,
# the tray icon's menu, and the administration site's pages in Chromium. Writes
# docs/main-window.png, docs/preferences.png, docs/address-qr.png, docs/tray-menu.png and
# docs/admin-login.png, docs/admin-console.png, docs/admin-log.png, docs/admin-upload.png.
# Run as root from anywhere:  bash scripts/screenshots.sh
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh xvfb twm trayer xfonts-base xdotool x11-utils imagemagick curl chromium
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF >/dev/null
cmake --build build >/dev/null

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
while [ ! -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
printf 'RandomPlacement\nUsePPosition "on"\nNoTitle\n' >"$work/twmrc"
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 24 >/dev/null 2>&1 &
pids+=($!)

cp -r site "$work/site"
cp build/qmx.exe "$work/site/qmx.exe"
port=18099 admin=18098
printf 'Port=%s\n[Admin]\nAllow=1\nUserName=admin\nPassword=Secret1\nPort=%s\n' "$port" "$admin" \
  >>"$work/site/server.cfg"
./build/orvane-light --app-dir "$work/site" >/dev/null 2>&1 &
pids+=($!)
until window=$(xdotool search --onlyvisible --name '^Orvane Light 0.7$' | head -n1) && [ -n "$window" ]; do
  sleep 0.2
done
xdotool key --window "$window" ctrl+r
until curl -s "http://127.0.0.1:$port/" >/dev/null; do sleep 0.2; done
for path in / /notes.txt /sub/ /banner.png /missing.html; do curl -s "http://127.0.0.1:$port$path" >/dev/null; done
curl -s -d 'name=Ada' "http://127.0.0.1:$port/greet.qmx" >/dev/null
# A slow download, so that the transfers show one in progress.
head -c 50000000 /dev/zero >"$work/site/docs/video.mp4"
curl -s --limit-rate 2M -o /dev/null "http://127.0.0.1:$port/video.mp4" &
pids+=($!)
sleep 4
mkdir -p docs
import -window "$window" docs/main-window.png

# The menu's access key opens the dialog: File, then P for Preferences.
xdotool mousemove --window "$window" 20 8 click 1
sleep 0.5
xdotool key p
until dialog=$(xdotool search --onlyvisible --name '^Preferences$' | head -n1) && [ -n "$dialog" ]; do
  sleep 0.2
done
sleep 1
import -window "$dialog" docs/preferences.png
xdotool key --window "$dialog" Escape

# Options, then its last item: the QR code.
xdotool mousemove --window "$window" 60 8 click 1
sleep 0.5
xdotool key Up Return
until qr=$(xdotool search --onlyvisible --name '^Site Address$' | head -n1) && [ -n "$qr" ]; do
  sleep 0.2
done
sleep 1
import -window "$qr" docs/address-qr.png
xdotool key --window "$qr" Escape

# Minimised, the window goes to the tray; a right-click on its icon opens the menu.
xdotool windowminimize "$window"
icon=""
until [ -n "$icon" ]; do
  sleep 0.2
  icon=$(xwininfo -root -tree | grep '"orvane-light"' | grep -E '22x22\+0\+0 +\+[0-9]+\+[0-9]+' | head -n1)
done
read -r x y < <(sed -E 's/.*22x22\+0\+0 +\+([0-9]+)\+([0-9]+).*/\1 \2/' <<<"$icon")
sleep 1
xdotool mousemove $((x + 11)) $((y + 11)) click 3
sleep 1
import -window root -crop 254x174+546+0 docs/tray-menu.png

# The administration site's pages, as a browser shows them: each page as the site sent it,
# saved and drawn by Chromium.
shoot() {
  cat >"$work/$1.html"
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=800,480 \
    --screenshot="docs/$1.png" "file://$work/$1.html" >/dev/null 2>&1
}
site="http://127.0.0.1:$admin/"
curl -s "$site" | shoot admin-login
console=$(curl -s --data 'UserName=&UserName=admin&password=Secret1&Request=Login' "$site")
shoot admin-console <<<"$console"
token=$(sed -n 's/.*name="Token" value="\([0-9a-f]*\)".*/\1/p' <<<"$console" | head -n1)
form() { curl -s -H "Origin: http://127.0.0.1:$admin" --data "ADMINLOGIN=&Token=$token&$1" "$site"; }
form 'View+Log=View+Log' | shoot admin-log
form 'Upload...=Upload...' | shoot admin-upload
echo "docs/main-window.png, docs/preferences.png, docs/address-qr.png, docs/tray-menu.png and" \
  "docs/admin-*.png written"
