#!/bin/sh
# Installs what building Orvane Light needs, and any further packages named on the command line,
# from Debian 12's own packages (run as root).
set -eu
export DEBIAN_FRONTEND=noninteractive
packages="cmake ninja-build g++ qt6-base-dev pkg-config libqrencode-dev libssl-dev $*"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  apt-get install -y --no-install-recommends $missing
fi
