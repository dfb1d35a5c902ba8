#!/bin/sh
# Runs a command with Wine's dpi set to DPI, then sets it back to 96:
# at-dpi.sh DPI WINE COMMAND...
dpi=$1 wine=$2
shift 2
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
status=0
"$@" || status=$?
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
exit $status
