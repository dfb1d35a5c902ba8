#!/bin/bash
# tarnmail's start-up against /bin/true, and Tarnwick + tarnmail submitting to
# a local Postfix per mail, side by side with Debian's msmtp sending the same
# mails to the same server. Needs root (Postfix runs with its own
# configuration in a private mount namespace). See bench/README.md.
#
# Environment: BENCH_BUILD_DIR (default <repo>/build-bench), BENCH_MAILS
# (default 300), BENCH_STARTS (default 1000: starts per start-up figure).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
BUILD=${BENCH_BUILD_DIR:-$ROOT/build-bench}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
echo "building Tarnwick and tarnmail in $BUILD ..." >&2
cmake --build "$BUILD" --target Tarnwick tarnmail -j2 >/dev/null
[ "$(id -u)" -eq 0 ] || { echo "run as root: Postfix is started for the measurement" >&2; exit 1; }
# A private /tmp too: Tarnwick's per-user instance lock lives there.
exec unshare -m --propagation private env TARNMAIL_POSTFIX_NS=1 sh -c \
    'mount -t tmpfs tmpfs /tmp && exec /usr/bin/python3 "$0" "$@"' \
    "$ROOT/bench/postfix_bench.py" "$BUILD/bin" "${BENCH_MAILS:-300}" "${BENCH_STARTS:-1000}"
