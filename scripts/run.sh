#!/bin/sh
# Installs what is needed, builds, and runs Orvane Light on the sample site in site/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF
cmake --build build
cp build/qmx.exe site/qmx.exe  # the sample script interpreter, beside the server's files
exec ./build/orvane-light --headless --app-dir site "$@"
