#!/bin/sh
# The whole test suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
cd build-asan
# Qt's own libraries are not instrumented; leaks inside them are not ours.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$(nproc)" --timeout 900
