#!/bin/sh
# Builds the Debian package build-package/orvane-light_0.7-1_amd64.deb (on amd64), with Debian's own
# compiler and linker flags (hardening included); tests/package.sh checks it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh dpkg-dev lintian
# Every hardening option Debian has, immediate binding included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=None -DORVANE_TESTS=OFF -DORVANE_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build build-package
cd build-package
cpack -G DEB
