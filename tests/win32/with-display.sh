#!/bin/sh
# Runs a Windows program under Wine ("$@": Wine, the program, its arguments)
# on the X display of the caller, or, without one, on a virtual X server of
# its own that ends with it.
if [ -n "$DISPLAY" ]; then
  exec "$@"
fi
fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
xvfb=$!
i=0
while [ ! -s "$fdfile" ] && [ $i -lt 200 ]; do
  sleep 0.05
  i=$((i + 1))
done
display=$(cat "$fdfile")
rm -f "$fdfile"
if [ -z "$display" ]; then
  echo "with-display.sh: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
status=0
DISPLAY=":$display" "$@" || status=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $status
