#!/bin/sh
# Runs test_relay.py as root in private mount and network namespaces: the
# relay's files are bound over /etc and /var there, its ports are on a
# loopback of its own, and nothing is left when the namespaces end. Without
# root, Postfix or OpenDKIM the tests skip.
if [ "$(id -u)" -eq 0 ] && [ -x /usr/sbin/postfix ] && [ -x /usr/sbin/opendkim ] && [ -z "$TARNWICK_RELAY_NS" ]; then
  TARNWICK_RELAY_NS=1 exec unshare -m -n --propagation private sh -c 'ip link set lo up && exec "$0" "$@"' sh "$0" "$@"
fi
exec /usr/bin/python3 -m unittest -v test_relay
