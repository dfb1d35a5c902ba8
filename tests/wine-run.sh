#!/bin/sh
# Runs a Windows test program under Wine: wine-run.sh [--display] WINE PROGRAM ARGS...
#
# The program's output goes through files, not straight to the caller: the
# helper processes Wine starts on a program's behalf (the desktop, services,
# consoles) inherit its output and outlive it, and a caller reading a pipe
# (CTest) would wait for them to end, for minutes. With --display a program
# that needs an X display gets a virtual one of its own when the caller has none.
display=0
if [ "$1" = "--display" ]; then
  display=1
  shift
fi
out=$(mktemp) err=$(mktemp)
xvfb=
cleanup() {
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
}

if [ $display = 1 ] && [ -z "$DISPLAY" ]; then
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  xvfb=$!
  i=0
  while [ ! -s "$fdfile" ] && [ $i -lt 200 ]; do
    sleep 0.05
    i=$((i + 1))
  done
  number=$(cat "$fdfile")
  rm -f "$fdfile"
  if [ -z "$number" ]; then
    echo "wine-run.sh: Xvfb did not start" >&2
    cleanup
    exit 1
  fi
  DISPLAY=":$number"
  export DISPLAY
fi

# Waiting in the background lets a time-out's TERM reach the trap at once, so
# what the program wrote so far is still shown.
"$@" >"$out" 2>"$err" &
program=$!
trap 'kill "$program" 2>/dev/null; cleanup; exit 143' TERM INT
status=0
wait "$program" || status=$?
cleanup
exit $status
