#!/bin/sh
# Runs a command with Wine's dpi set to DPI, then sets it back to 96 (also
# when the run is cut short): at-dpi.sh DPI WINE COMMAND...
dpi=$1 wine=$2
shift 2
set_dpi() {
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
trap 'set_dpi 96; exit 143' TERM INT
set_dpi "$dpi"
status=0
"$@" || status=$?
set_dpi 96
exit $status
