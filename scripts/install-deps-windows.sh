#!/bin/sh
# Installs what a fresh Debian 12 machine lacks to cross-build the Windows
# programs with mingw-w64 and test them under Wine (64-bit only).
set -e
# Wine draws the window tests' texts with a Japanese font; the package's test
# runs a loopback SMTP server with a private CA (Python, aiosmtpd, openssl)
# and iconv makes the package's texts Shift_JIS.
PACKAGES="cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 googletest locales xvfb xauth fonts-ipafont-gothic python3 python3-aiosmtpd openssl libc-bin"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
# Wine takes its code page from the locale: the tests run in Japanese.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
