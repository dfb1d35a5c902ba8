#!/bin/sh
# Cross-builds the Windows programs and their tests with mingw-w64 and runs the
# tests under Wine, in a Japanese locale (Wine takes the code page from it, so
# Shift_JIS bytes on command lines and in file names stay as they are).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps-windows.sh

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# A Wine prefix of the build's own, made once and reused.
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# One Wine server for the whole build and test run: a server that quits when
# its last program ends can be caught by the next one starting
# ("recvmsg: connection reset").
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
/usr/lib/wine/wineserver64 -p
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-win -j"$(nproc)"
# The package, Tarnwick-<version>-win64.zip, which the tests unpack and run.
(cd build-win && cpack -G ZIP)
status=0
# Windows programs with windows need a desktop: Wine draws it on a virtual X server.
(cd build-win && xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j2 --output-on-failure --timeout 300) || status=$?
# Wine's background processes would keep pipes (and CI) waiting.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
exit $status
