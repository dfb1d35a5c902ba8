#!/bin/bash
# Peak memory of Tarnwick against the size of its largest input: one mail
# whose subject is one long line, and one whose CC file is large. Prints the
# peak resident size and its ratio to the input file.
#
#   bench/input-memory.sh [build-dir]        (default <repo>/build)
#
# Environment: MEM_LINE_MB (default 50), MEM_CC_MB (default "100 1024").
# Runs invisible on the offscreen platform with bench/null_mailer.c as the mailer.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
LINE_MB=${MEM_LINE_MB:-50}
CC_MB=${MEM_CC_MB:-"100 1024"}
command -v /usr/bin/time >/dev/null || sh "$ROOT/scripts/install-deps.sh"
[ -x "$BUILD/bin/Tarnwick" ] || cmake --build "$BUILD" --target Tarnwick -j2 >/dev/null

RUN=$(mktemp -d "${TMPDIR:-/tmp}/tarn-mem-XXXXXX")
trap 'rm -rf "$RUN"' EXIT
mkdir -p "$RUN/mails" "$RUN/temp"
cp "$BUILD/bin/Tarnwick" "$RUN/Tarnwick"
gcc -static -O2 -o "$RUN/smail" "$ROOT/bench/null_mailer.c"

# peak <label> <input file>: runs the job list and prints the figures.
peak() {
    local label=$1 input=$2 bytes kb
    bytes=$(stat -c %s "$input")
    rm -f "$RUN/\$mail_result.csv"
    /usr/bin/time -f '%M %e %x' -o "$RUN/time.txt" "$RUN/Tarnwick" /P jobs.txt /i >/dev/null 2>&1 || true
    read -r kb secs code < <(tail -n 1 "$RUN/time.txt")
    awk -v l="$label" -v b="$bytes" -v k="$kb" -v s="$secs" -v c="$code" 'BEGIN {
        printf "%-22s input %8.1f MB  peak %8.1f MB  factor %5.2f  %6.1f s  exit %s\n",
               l, b / 1048576, k / 1024, k * 1024 / b, s, c }'
}

# A subject of LINE_MB megabytes on one line.
head -c $((LINE_MB << 20)) /dev/zero | tr '\0' 's' >"$RUN/subject"
{ printf 'out.txt\r\nhost\r\nto@example.jp\r\nfrom@example.jp\r\n'; cat "$RUN/subject"; printf '\r\n\r\nbody\r\n'; } >"$RUN/mails/line.txt"
rm -f "$RUN/subject"
printf 'mails/line.txt,L1\r\n' >"$RUN/jobs.txt"
peak "subject line ${LINE_MB} MB" "$RUN/mails/line.txt"
rm -f "$RUN/mails/line.txt"

# CC files of one address per line.
printf 'out.txt\r\nhost\r\nto@example.jp,>#cc cc.txt\r\nfrom@example.jp\r\ns\r\n\r\nbody\r\n' >"$RUN/mails/cc.txt"
printf 'mails/cc.txt,C1\r\n' >"$RUN/jobs.txt"
for mb in $CC_MB; do
    { yes "$(printf 'cc0000000000@example.jp\r')" || true; } | head -c $((mb << 20)) >"$RUN/cc.txt"
    peak "CC file ${mb} MB" "$RUN/cc.txt"
done
