#!/bin/bash
# tarnmerge on a customer list of N rows (default 10 000; TARNMERGE_ROWS):
# rows per second and peak memory, for the merge that writes the batch and
# for --preview, which reads and checks every row but writes nothing.
# Environment: BENCH_BUILD_DIR (default <repo>/build-bench), TARNMERGE_ROWS.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BENCH_BUILD_DIR:-$ROOT/build-bench}
ROWS=${TARNMERGE_ROWS:-10000}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" --target tarnmerge -j2 >/dev/null
WORK=$BUILD/tarnmerge-bench
rm -rf "$WORK"
mkdir -p "$WORK"

# Rows like the example's: Japanese names, half-width kana, a quoted value
# over two lines, every recipient once.
python3 - "$ROWS" > "$WORK/customers.csv" <<'PY'
import sys
print("code,email,name,copies,attachments,venue")
for i in range(1, int(sys.argv[1]) + 1):
    print(f'C{i:06d},user{i}@example.jp,顧客 {i} ｻﾏ,>#cc mails\\cc.txt,*mails\\attach_list.csv,'
          f'"東京会場：髙島ビル {i % 9 + 1}階\n（地下鉄 ｶｽﾐｶﾞｾｷ駅 徒歩5分）"')
PY

# Wall seconds and peak resident memory (MB) of one command.
measure() {
    local what=$1
    shift
    /usr/bin/time -f '%e %M' -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; exit 1; }
    read -r seconds kb < "$WORK/time"
    awk -v s="$seconds" -v kb="$kb" -v n="$ROWS" -v what="$what" \
        'BEGIN { printf "%-10s %6d rows  %6.2f s  %9.0f rows/s  peak %5.1f MB\n", what, n, s, (s > 0 ? n / s : 0), kb / 1024 }'
}

cd "$WORK"
measure merge "$BUILD/bin/tarnmerge" --code code customers.csv "$ROOT/examples/template.txt" batch
measure check "$BUILD/bin/tarnmerge" --preview 0 customers.csv "$ROOT/examples/template.txt"
echo "csv $(du -k customers.csv | cut -f1) kB, batch $(du -sk batch | cut -f1) kB in $(ls batch | wc -l) files"
