#!/bin/sh
# The whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer; then each
# fuzz target for a bounded number of inputs from its seeds. Called by scripts/test.sh.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_TESTS=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build-asan
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"
(cd build-asan && ctest --output-on-failure --timeout 600 -j2)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANE_TESTS=OFF -DORVANE_GUI=OFF -DORVANE_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build-fuzz
# Leaks are the suite's to find (above): the running log keeps growing across inputs by design,
# and a leak check after every input would cost more than the input.
for target in request ini admin; do
  work=$(mktemp -d)  # new inputs go here, never into the repository's seeds
  case $target in admin) runs=10000 ;; *) runs=20000 ;; esac
  ./build-fuzz/fuzz/fuzz_$target -detect_leaks=0 -runs=$runs "$work" "fuzz/corpus/$target"
  rm -rf "$work"
done
