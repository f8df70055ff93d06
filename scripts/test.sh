#!/bin/sh
# Installs what is needed, builds everything with the tests, and runs all tests.
set -eu
cd "$(dirname "$0")/.."
# chromium, curl and openssl: browser and client tests; nginx-light: the caching front; locales: a counter test builds one; xvfb to
# xfonts-base: the window test on a real X server (twm as window manager, trayer as tray, xclip
# to read the clipboard); zbar-tools reads the QR code back;
# python3 and procps: the benchmark; clang and its runtime: the fuzz targets; dpkg-dev and
# lintian: the package; systemd: its service unit is verified.
sh scripts/install-deps.sh chromium curl openssl nginx-light locales xvfb x11-utils xdotool trayer twm xfonts-base xclip \
  zbar-tools \
  python3 procps clang libclang-rt-14-dev dpkg-dev lintian systemd
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_TESTS=ON
cmake --build build-tests
cd build-tests
ctest --output-on-failure --timeout 600 -j2
cd ..
sh scripts/sanitized-tests.sh
# The Debian package, built with Debian's flags and checked as a user gets it.
sh scripts/package.sh
bash tests/package.sh "build-package/orvane-light_0.7-1_$(dpkg --print-architecture).deb" README.md
# The benchmark is not a test, but it must keep working: one short case per server.
python3 bench/compare --quick
