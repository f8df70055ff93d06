#!/bin/sh
# Installs what is needed, builds everything with the tests, and runs all tests.
set -eu
cd "$(dirname "$0")/.."
# chromium and curl: browser and client tests; locales: a counter test builds one; the rest: the
# window test on a real X server (Xvfb, twm as window manager, trayer as tray).
sh scripts/install-deps.sh chromium curl locales xvfb x11-utils xdotool trayer twm xfonts-base \
  python3 procps
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_TESTS=ON
cmake --build build-tests
cd build-tests
ctest --output-on-failure --timeout 600 -j2
# The benchmark is not a test, but it must keep working: one short case per server.
cd ..
python3 bench/compare --quick
