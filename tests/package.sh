#!/bin/bash
# The Debian package as a user gets it, without installing it system-wide: its files, its
# control fields, lintian (no error, and every warning one the README explains), then the program
# unpacked with dpkg-deb -x and run as a user who cannot write beside it: the first start fills
# a data folder in a fresh home from the sample site, a second start keeps the owner's changes
# and serves the site and its script through the installed interpreter; last, the service unit
# passes systemd-analyze verify where systemd is installed.
set -u
deb=${1:?Usage: package.sh PACKAGE.deb README}
readme=${2:?Usage: package.sh PACKAGE.deb README}
. "$(dirname "$0")/scriptkit.sh" dpkg-deb lintian curl runuser

[ "$(basename "$deb")" = "orvane-light_0.7-1_$(dpkg --print-architecture).deb" ] ||
  fail "package named $(basename "$deb")"
contents=$(dpkg-deb --contents "$deb" | awk '{print $1, $NF}')
for file in ./usr/bin/orvane-light ./usr/lib/orvane-light/qmx.exe ./usr/share/orvane-light/server.cfg \
  ./usr/share/orvane-light/docs/index.html ./usr/share/orvane-light/docs/greet.qmx \
  ./usr/share/orvane-light/system/template.html ./usr/share/applications/orvane-light.desktop \
  ./usr/share/man/man1/orvane-light.1.gz ./usr/share/doc/orvane-light/copyright \
  ./usr/share/doc/orvane-light/changelog.Debian.gz ./lib/systemd/system/orvane-light.service \
  ./usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/orvane-light.png; do
  grep -q " $file\$" <<<"$contents" || fail "$file is not in the package"
done
grep -q '^-rwxr-xr-x ./usr/bin/orvane-light$' <<<"$contents" || fail "the program is not executable"
grep -q 'qmx.exe\|counters\|tls-' <<<"$(grep ' ./usr/share/' <<<"$contents")" &&
  fail "something a run leaves behind is in the package"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6widgets6 libssl3 libqrencode4 qt6-qpa-plugins; do
  grep -q "$needed" <<<"$depends" || fail "Depends has no $needed: $depends"
done

# lintian: no error; each warning left is explained in the README's packaging section.
lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"
section=$(sed -n '/^### Packaging notes/,/^##[^#]/p' "$readme")
for tag in $(sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' "$work/lintian" | sort -u); do
  grep -q "\`$tag\`" <<<"$section" || fail "lintian warning $tag is not explained in the README"
done

# Unpacked where only root may write, run as nobody with a fresh home.
root=$work/root home=$work/home
dpkg-deb -x "$deb" "$root"
mkdir -p "$home" && chown nobody "$home" && chmod 755 "$work"
as_user() { runuser -u nobody -- env -i HOME="$home" PATH=/usr/bin:/bin "$@"; }
data=$home/.local/share/orvane-light
as_user "$root/usr/bin/orvane-light" --print-settings | grep -qx "AppPath=$data/" ||
  fail "--print-settings names no data folder"
[ ! -e "$data" ] || fail "--print-settings made the data folder"
# The sample's port, 80, is not for a user: the start says so, with the folder filled. (Some
# containers open low ports to everyone: there it serves, and is stopped after a while.)
as_user timeout 10 "$root/usr/bin/orvane-light" --headless >"$work/first" 2>&1
if [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start)" -gt 80 ]; then
  grep -q "Port 80 needs administrator rights" "$work/first" || fail "first start: $(cat "$work/first")"
fi
cmp -s "$data/docs/index.html" "$root/usr/share/orvane-light/docs/index.html" ||
  fail "the data folder was not filled from the sample site"
[ "$(stat -c %a "$data")" = 700 ] || fail "data folder mode $(stat -c %a "$data")"
port=$(free_port)
printf '[Server]\nHttpHeaders=1\nPort=%s\n' "$port" >"$data/server.cfg"
printf 'mine\n' >"$data/docs/mine.txt"
rm "$data/docs/notes.txt"
as_user "$root/usr/bin/orvane-light" --headless >"$work/second" 2>&1 &
until_true "curl -sf http://127.0.0.1:$port/ -o '$work/index'" || fail "no site: $(cat "$work/second")"
grep -q 'Orvane Light' "$work/index" || fail "the sample's index page: $(cat "$work/index")"
[ ! -e "$data/docs/notes.txt" ] && [ -e "$data/docs/mine.txt" ] || fail "the owner's changes were undone"
curl -sf -d 'name=Ada' "http://127.0.0.1:$port/greet.qmx" | grep -q 'Ada' ||
  fail "the installed interpreter did not answer: $(cat "$work/second")"
ls "$root/usr/lib/orvane-light" | grep -q qms && fail "the interpreter wrote beside itself"
# As the service runs it: XDG_DATA_HOME names the state folder systemd has made, empty.
mkdir -p "$work/state/orvane-light" && chown -R nobody "$work/state"
runuser -u nobody -- env -i XDG_DATA_HOME="$work/state" "$root/usr/bin/orvane-light" --print-settings |
  grep -qx "AppPath=$work/state/orvane-light/" || fail "the service's program folder"

# The service unit, pointed at the unpacked program.
if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/orvane-light|$root/usr/bin/orvane-light|" "$root/lib/systemd/system/orvane-light.service" \
    >"$work/orvane-light.service"
  # The manual page is in the package, not installed: it is checked above.
  systemd-analyze verify --man=no "$work/orvane-light.service" >"$work/verify" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$work/verify")"
  [ ! -s "$work/verify" ] || fail "systemd-analyze verify says: $(cat "$work/verify")"
else
  echo "skipped: systemd-analyze verify (systemd is not installed)"
fi
echo "package: all checks passed"
