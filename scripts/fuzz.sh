#!/bin/bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) in build-fuzz/ and
# runs each for a while on its corpus.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
#
# Environment: JOBS (targets run at once, default 1), MERGE=1 (minimise the
# committed corpus afterwards: fuzz/corpus/<target> plus what was found, merged
# into a fresh folder that replaces it), CXX (default clang++-14).
# New inputs collect in build-fuzz/corpus/<target>/, findings (crash-*, leak-*,
# timeout-*, oom-*) in build-fuzz/artifacts/<target>/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(job_mail mail_command ini_file parse_command_line sjis_to_jis normalize_kana split_result_line split_command_line run_journal merge_csv smtp_reply encoded_words)
fi
targets_to_run=("${targets[@]}")
jobs=${JOBS:-1}
# The targets write small files on every input: on tmpfs that costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

# What the fuzzers need beyond the normal build.
sh "$root/scripts/install-deps.sh"
for p in clang-14 libclang-rt-14-dev ninja-build; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    sudo_cmd=""; [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
    $sudo_cmd apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$p"
  fi
done

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="${CXX:-clang++-14}" >/dev/null
cmake --build "$build" -j"$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}")

run_one() {
  local t=$1
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t" "$root/fuzz/corpus/$t"
  nice -n 10 "$build/fuzz_$t" "$build/corpus/$t" "$root/fuzz/corpus/$t" \
    -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" >"$build/$t.log" 2>&1 || true
}

# 0 seconds: no fuzzing (only the merge, with MERGE=1).
running=0
[ "$seconds" -gt 0 ] || targets_to_run=()
for t in "${targets_to_run[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

if [ "${MERGE:-0}" = 1 ]; then
  for t in "${targets[@]}"; do
    fresh="$build/merged/$t"
    rm -rf "$fresh" && mkdir -p "$fresh"
    "$build/fuzz_$t" -merge=1 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
      "$fresh" "$root/fuzz/corpus/$t" "$build/corpus/$t" >"$build/$t.merge.log" 2>&1
    # Keep the committed corpus small: past a few hundred inputs, keep only
    # what adds edges (not hit counts).
    if [ "$(ls "$fresh" | wc -l)" -gt 300 ]; then
      rm -rf "$fresh" && mkdir -p "$fresh"
      "$build/fuzz_$t" -merge=1 -use_counters=0 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        "$fresh" "$root/fuzz/corpus/$t" "$build/corpus/$t" >>"$build/$t.merge.log" 2>&1
    fi
    # The hand-written seeds stay, under their names.
    for seed in "$root/fuzz/corpus/$t"/seed_*; do
      [ -f "$seed" ] || continue
      rm -f "$fresh/$(sha1sum <"$seed" | cut -d' ' -f1)"
      cp "$seed" "$fresh"/
    done
    rm -rf "$root/fuzz/corpus/$t" && cp -r "$fresh" "$root/fuzz/corpus/$t"
  done
fi

printf '%-20s %12s %8s %6s  %s\n' target executions corpus finds artifacts
for t in "${targets[@]}"; do
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$build/$t.log" | awk '{print $2}' | tail -1)
  finds=$(ls "$build/artifacts/$t" 2>/dev/null | wc -l)
  count=$(ls "$root/fuzz/corpus/$t" | wc -l)
  printf '%-20s %12s %8s %6s  %s\n' "$t" "${execs:-?}" "$count" "$finds" "$build/artifacts/$t"
  grep -m3 -E 'ERROR: |invariant broken|runtime error' "$build/$t.log" | sed 's/^/    /' || true
done
