#!/bin/sh
# Cross-builds the Windows programs and their tests with mingw-w64 and runs the
# tests under Wine, in a Japanese locale (Wine takes the code page from it, so
# Shift_JIS bytes on command lines and in file names stay as they are).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps-windows.sh

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# One virtual X server for the whole suite: every Wine process of the prefix
# draws on the same display (the window tests read the screen back).
xvfb=""
if [ -z "$DISPLAY" ]; then
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  xvfb=$!
  i=0
  while [ ! -s "$fdfile" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
  export DISPLAY=":$(cat "$fdfile")"
  rm -f "$fdfile"
fi

# A Wine prefix of the build's own, made once and reused.
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p build-win
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-win -j"$(nproc)"
status=0
(cd build-win && ctest -j2 --output-on-failure --timeout 300) || status=$?
# Wine's background processes would keep pipes (and CI) waiting.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
exit $status
