#!/bin/sh
# Installs what a fresh Debian 12 machine lacks to build, test and run Tarnwick.
set -e
PACKAGES="cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic libssl3 openssl python3 python3-aiosmtpd time xvfb x11-utils
  postfix msmtp opendkim opendkim-tools python3-dkim iproute2"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  # Postfix is for the tests, which run their own instance: installed
  # unconfigured, so no system mail server starts or listens.
  echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
