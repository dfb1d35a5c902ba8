#!/bin/sh
# Runs test_postfix.py. Postfix runs with the test's own configuration in a
# private mount namespace, where the test's folder stands in for /etc/postfix:
# the machine's own Postfix files are never read or changed, and nothing is
# left mounted when the namespace ends. Without root or Postfix the tests skip.
if [ "$(id -u)" -eq 0 ] && [ -x /usr/sbin/postfix ] && [ -z "$TARNMAIL_POSTFIX_NS" ]; then
  TARNMAIL_POSTFIX_NS=1 exec unshare -m --propagation private sh "$0" "$@"
fi
exec /usr/bin/python3 -m unittest -v test_postfix
