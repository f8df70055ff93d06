#!/bin/sh
# Installs what is needed, builds everything with the tests, and runs all tests.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh chromium curl locales  # browser and client tests; a counter test builds a locale
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_TESTS=ON
cmake --build build-tests
cd build-tests
ctest --output-on-failure --timeout 600 -j2
