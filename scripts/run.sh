#!/bin/sh
# Installs what is needed, builds, and runs Orvane Light on the sample site in site/: in its
# window when there is a display, headless otherwise.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF
cmake --build build
cp build/qmx.exe site/qmx.exe  # the sample script interpreter, beside the server's files
# With a display the window opens (Run Server starts serving); without one it serves at once.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/orvane-light --app-dir site "$@"
fi
exec ./build/orvane-light --headless --app-dir site "$@"
