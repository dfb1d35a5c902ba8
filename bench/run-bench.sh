#!/bin/bash
# Delivery throughput and memory of Tarnwick, side by side with the limit (a
# loop that only starts and waits for the mailer) and with the shell script an
# operator would write instead. See bench/README.md for how to read the output.
#
# Environment: BENCH_BUILD_DIR (default <repo>/build-bench), BENCH_SIZES
# (default "1000 10000"), BENCH_BIG (default 100000: the memory run),
# BENCH_STAMP_N (default 10000: the first/last thousand run).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
BUILD=${BENCH_BUILD_DIR:-$ROOT/build-bench}
SIZES=${BENCH_SIZES:-"1000 10000"}
BIG=${BENCH_BIG:-100000}
STAMP_N=${BENCH_STAMP_N:-10000}
DEFINITIONS=1000

say() { printf '%s\n' "$*" >&2; }

# --- Build -------------------------------------------------------------------
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
say "building Tarnwick and load_results_bench in $BUILD ..."
cmake --build "$BUILD" --target Tarnwick load_results_bench -j2 >/dev/null
TOOLS=$BUILD/bench-tools
mkdir -p "$TOOLS"
gcc -static -O2 -o "$TOOLS/null_mailer" "$ROOT/bench/null_mailer.c"
gcc -static -O2 -o "$TOOLS/stamp_mailer" "$ROOT/bench/stamp_mailer.c"
gcc -O2 -o "$TOOLS/spawn_loop" "$ROOT/bench/spawn_loop.c"

# --- A program folder with mail definitions and job lists ------------------------
RUN=$BUILD/bench-run
rm -rf "$RUN"
PROG=$RUN/prog
mkdir -p "$PROG/mails" "$PROG/temp" "$PROG/out" "$RUN/peer-work"
cp "$BUILD/bin/Tarnwick" "$PROG/Tarnwick"
cp "$TOOLS/null_mailer" "$PROG/smail"
for ((k = 0; k < DEFINITIONS; ++k)); do
    printf '../out/outcome.txt\r\nmail.example.jp\r\nuser%d@example.jp\r\nfrom@example.jp\r\nsubject %d\r\n\r\nHello,\r\nthis is mail %d.\r\nBye\r\n' \
        "$k" "$k" "$k" > "$PROG/mails/m$k.txt"
done
# A job list of n lines, naming the definitions in turn.
make_jobs() {
    awk -v n="$1" -v d="$DEFINITIONS" 'BEGIN { for (i = 0; i < n; ++i) printf "mails/m%d.txt,C%d\r\n", i % d, i + 1 }' > "$PROG/jobs-$1.txt"
}
printf 'mails/missing.txt,C0\r\n' > "$PROG/jobs-0.txt"

LOCK=${TMPDIR:-/tmp}/tarnwick-$(id -u)/Ident8957-$(id -u).lock
now() { date +%s.%N; }

# Runs Tarnwick invisibly on jobs-$1.txt; prints "seconds max_rss_kb".
run_tarnwick() {
    local n=$1 t0 t1
    # Another Tarnwick of this user would make ours end at once: wait for it.
    [ -e "$LOCK" ] && flock -w 600 "$LOCK" true
    rm -f "$PROG/\$mail_result.csv" "$PROG/out/outcome.txt"
    t0=$(now)
    (cd "$PROG" && QT_QPA_PLATFORM=offscreen /usr/bin/time -f '%M' -o "$RUN/time.txt" ./Tarnwick /P "jobs-$n.txt" /i 2>>"$RUN/tarnwick-stderr.txt") \
        || { say "Tarnwick ended with $? on $n mails"; exit 1; }
    t1=$(now)
    local lines=0
    [ -f "$PROG/\$mail_result.csv" ] && lines=$(wc -l < "$PROG/\$mail_result.csv")
    if [ "$n" -ne 0 ] && [ "$lines" -ne "$n" ]; then
        say "Tarnwick wrote $lines result lines for $n mails (another instance running?)"
        exit 1
    fi
    echo "$(echo "$t1 - $t0" | bc -l) $(tail -n 1 "$RUN/time.txt")"
}

run_limit() {
    "$TOOLS/spawn_loop" "$1" "$PROG/smail" smail -hmail.example.jp -ffrom@example.jp '-s"subject 1"' -m -Fbody.txt user1@example.jp -t
}

run_peer() {
    local n=$1 t0 t1
    rm -f "$RUN/peer-result.csv" "$PROG/out/outcome.txt"
    t0=$(now)
    /bin/sh "$ROOT/bench/peer.sh" "$PROG/jobs-$n.txt" "$PROG" "$RUN/peer-work" "$PROG/smail" "$RUN/peer-result.csv"
    t1=$(now)
    echo "$t1 - $t0" | bc -l
}

ms() { printf '%.3f' "$(echo "$1 * 1000" | bc -l)"; }
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

# --- Fixed cost of a run (start-up, close) -------------------------------------------
best0=
for _ in 1 2 3; do
    read -r s _ < <(run_tarnwick 0)
    if [ -z "$best0" ] || (( $(echo "$s < $best0" | bc -l) )); then best0=$s; fi
done
say "Tarnwick without mails: ${best0}s (subtracted below)"

# --- Throughput -----------------------------------------------------------------------
declare -A TW LIM PEER
printf '\n%-8s %14s %14s %14s %12s %12s\n' "mails" "Tarnwick ms" "limit ms" "peer.sh ms" "Tw/limit" "Tw/peer"
for n in $SIZES; do
    make_jobs "$n"
    say "N=$n: limit ..."
    LIM[$n]=$(echo "$(run_limit "$n") / $n" | bc -l)
    say "N=$n: Tarnwick ..."
    read -r s _ < <(run_tarnwick "$n")
    TW[$n]=$(echo "($s - $best0) / $n" | bc -l)
    say "N=$n: peer.sh ..."
    PEER[$n]=$(echo "$(run_peer "$n") / $n" | bc -l)
    printf '%-8s %14s %14s %14s %12s %12s\n' "$n" "$(ms "${TW[$n]}")" "$(ms "${LIM[$n]}")" "$(ms "${PEER[$n]}")" \
        "$(ratio "${TW[$n]}" "${LIM[$n]}")" "$(ratio "${TW[$n]}" "${PEER[$n]}")"
done
set -- $SIZES
if [ $# -ge 2 ]; then
    first=$1
    last=${!#}
    printf '\nscaling per mail, N=%s vs N=%s: Tarnwick %s, limit %s, peer.sh %s (1.00 = linear)\n' "$last" "$first" \
        "$(ratio "${TW[$last]}" "${TW[$first]}")" "$(ratio "${LIM[$last]}" "${LIM[$first]}")" "$(ratio "${PEER[$last]}" "${PEER[$first]}")"
fi

# --- What the journal's sync costs ------------------------------------------------
# Each journal entry reaches the disk (fdatasync) before its mailer starts. The
# same run with the program folder on tmpfs, where that sync costs nothing,
# shows what it costs per mail here: best of three runs each.
SYNC_N=${BENCH_SYNC_N:-2000}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    make_jobs "$SYNC_N"
    SHM=$(mktemp -d /dev/shm/tarnwick-bench.XXXXXX)
    cp -r "$PROG"/. "$SHM"/
    best_disk= best_shm=
    for _ in 1 2 3; do
        say "N=$SYNC_N: journal on disk, then on tmpfs ..."
        read -r s _ < <(run_tarnwick "$SYNC_N")
        if [ -z "$best_disk" ] || (( $(echo "$s < $best_disk" | bc -l) )); then best_disk=$s; fi
        read -r s _ < <(PROG=$SHM run_tarnwick "$SYNC_N")
        if [ -z "$best_shm" ] || (( $(echo "$s < $best_shm" | bc -l) )); then best_shm=$s; fi
    done
    rm -rf "$SHM"
    printf '\njournal sync, %d mails: %s ms/mail with the program folder on disk, %s ms/mail on tmpfs: %s ms per mail for the sync\n' \
        "$SYNC_N" "$(ms "$(echo "($best_disk - $best0) / $SYNC_N" | bc -l)")" "$(ms "$(echo "($best_shm - $best0) / $SYNC_N" | bc -l)")" \
        "$(ms "$(echo "($best_disk - $best_shm) / $SYNC_N" | bc -l)")"
fi

# --- Against the durable limit -------------------------------------------------------
# The least a run that never sends a mail twice must do per mail: put one
# journal entry on the disk (64 bytes written in place into a laid-out file,
# then synced), then start and wait for the mailer. Measured beside Tarnwick
# in the same program folder on the same disk: best of three runs each.
DUR_N=${BENCH_DURABLE_N:-10000}
make_jobs "$DUR_N"
best_limit= best_tw=
for _ in 1 2 3; do
    say "N=$DUR_N: durable limit, then Tarnwick ..."
    s=$("$TOOLS/spawn_loop" -d "$PROG/durable-limit.bin" "$DUR_N" "$PROG/smail" smail -hmail.example.jp \
        -ffrom@example.jp '-s"subject 1"' -m -Fbody.txt user1@example.jp -t)
    rm -f "$PROG/durable-limit.bin"
    if [ -z "$best_limit" ] || (( $(echo "$s < $best_limit" | bc -l) )); then best_limit=$s; fi
    read -r s _ < <(run_tarnwick "$DUR_N")
    s=$(echo "$s - $best0" | bc -l)
    if [ -z "$best_tw" ] || (( $(echo "$s < $best_tw" | bc -l) )); then best_tw=$s; fi
done
printf '\ndurable limit, %d mails on disk: limit %s ms/mail, Tarnwick %s ms/mail, Tarnwick/limit %s\n' "$DUR_N" \
    "$(ms "$(echo "$best_limit / $DUR_N" | bc -l)")" "$(ms "$(echo "$best_tw / $DUR_N" | bc -l)")" "$(ratio "$best_tw" "$best_limit")"

# --- First and last thousand of a long run ------------------------------------------
make_jobs "$STAMP_N"
cp "$TOOLS/stamp_mailer" "$PROG/smail"
rm -f "$RUN/stamps.txt"
say "N=$STAMP_N with time stamps ..."
BENCH_STAMP_FILE=$RUN/stamps.txt run_tarnwick "$STAMP_N" >/dev/null
cp "$TOOLS/null_mailer" "$PROG/smail"
sort -n "$RUN/stamps.txt" | awk -v n="$STAMP_N" '
    { s[NR] = $1 }
    END {
        if (NR != n || n < 2001) { printf "stamps: %d of %d\n", NR, n; exit }
        first = (s[1001] - s[1]) / 1000 / 1e6; last = (s[n] - s[n - 1000]) / 1000 / 1e6
        printf "\nrun of %d mails: first thousand %.3f ms/mail, last thousand %.3f ms/mail (last/first %.2f)\n", n, first, last, last / first
    }'

# --- Memory -------------------------------------------------------------------------------
make_jobs "$BIG"
say "N=$BIG: Tarnwick (memory) ..."
read -r s kb < <(run_tarnwick "$BIG")
printf '\nrun of %d mails: %.1f s, %s ms/mail, peak memory %.1f MB\n' "$BIG" "$s" "$(ms "$(echo "($s - $best0) / $BIG" | bc -l)")" \
    "$(echo "$kb / 1024" | bc -l)"

# Checking the same job list with /v: nothing is sent.
[ -e "$LOCK" ] && flock -w 600 "$LOCK" true
t0=$(now)
(cd "$PROG" && QT_QPA_PLATFORM=offscreen /usr/bin/time -f '%M' -o "$RUN/time.txt" ./Tarnwick /P "jobs-$BIG.txt" /v /i 2>>"$RUN/tarnwick-stderr.txt") || true
t1=$(now)
printf 'check (/v) of a %d-line job list: %.2f s, peak memory %.1f MB, %d findings\n' "$BIG" "$(echo "$t1 - $t0" | bc -l)" \
    "$(echo "$(tail -n 1 "$RUN/time.txt") / 1024" | bc -l)" "$(wc -l < "$PROG/\$mail_check.csv")"

# The run's own result file, shown by a Tarnwick started without arguments:
# time until it idles, and its peak memory. Without a display such a start
# only prints its usage, so it gets an X server of its own (Xvfb).
[ -e "$LOCK" ] && flock -w 600 "$LOCK" true
rm -f "$RUN/display.txt"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$RUN/display.txt" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$RUN/display.txt" ] && break; sleep 0.1; done
(cd "$PROG" && exec env QT_QPA_PLATFORM=xcb DISPLAY=":$(cat "$RUN/display.txt")" ./Tarnwick 2>>"$RUN/tarnwick-stderr.txt") &
pid=$!
t0=$(now)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo gone; }
last=$(cpu) still=0 idle_at=
for ((k = 0; k < 600 && still < 10; ++k)); do
    sleep 0.1
    c=$(cpu)
    if [ "$c" = "$last" ]; then
        ((still += 1))
        [ -z "$idle_at" ] && idle_at=$(now)
    else
        still=0 idle_at=
    fi
    last=$c
done
hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
kill "$pid"
wait "$pid" 2>/dev/null || true
kill "$xvfb" 2>/dev/null || true
printf 'Tarnwick showing a %d-line result file: idle after %.2f s, peak memory %.1f MB\n' "$BIG" \
    "$(echo "$idle_at - $t0" | bc -l)" "$(echo "$hwm / 1024" | bc -l)"

# LoadResultList alone.
"$BUILD/bin/load_results_bench" "$BIG" "$RUN/load" | awk '
    /^seconds/ { s = $2 } /^peak_rss_mb/ { m = $2 }
    END { printf "LoadResultList of %s lines: %.3f s, process peak memory %.1f MB\n", "'"$BIG"'", s, m }'
