#!/bin/sh
# Runs test_relay.py as root in private mount and network namespaces (the relay's files bound over
# /etc and /var, its ports on a loopback of its own). Without root, Postfix or OpenDKIM it skips.
if [ "$(id -u)" -eq 0 ] && [ -x /usr/sbin/postfix ] && [ -x /usr/sbin/opendkim ] && [ -z "$TARNWICK_RELAY_NS" ]; then
  TARNWICK_RELAY_NS=1 exec unshare -m -n --propagation private sh -c 'ip link set lo up && exec "$0" "$@"' sh "$0" "$@"
fi
exec /usr/bin/python3 -m unittest -v test_relay
