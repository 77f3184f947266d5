#!/usr/bin/env bash
# Builds the libFuzzer targets (one per operation: refresh, download, upload,
# delete, format, erase_voice) in build-fuzz with clang, then runs each for
# SECONDS (default 20), as many side by side as there are processors
# (Q8_FUZZ_JOBS), on a scratch copy of its seeds in fuzz/corpus/<target>,
# which is never written to. Fails when a target crashes, leaks, hangs or one
# of its oracles fails; the failing input is kept and its path printed. For
# each target it prints libFuzzer's executions per second and coverage from
# its last status line.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# Needs the Debian packages clang and libclang-rt-14-dev (FuzzedDataProvider.h
# and the fuzzer runtime).
#
# A long session on one target, keeping what it finds between sessions in a
# folder of your own (the committed seeds are only read):
#   scripts/fuzz.sh 1 download          # builds the tree
#   mkdir -p ~/q8-corpus/download
#   build-fuzz/fuzz/q8_fuzz_download -max_total_time=3600 -timeout=10 \
#       -jobs=2 -workers=2 -artifact_prefix=$HOME/q8-corpus/download- \
#       ~/q8-corpus/download fuzz/corpus/download
# A crash input replays with `build-fuzz/fuzz/q8_fuzz_download FILE`; the
# seeds are written again with `build-fuzz/fuzz/q8_make_seeds fuzz/corpus`.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
all=(refresh download upload delete format erase_voice)

seconds=20
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [ -d "$root/fuzz/corpus/$t" ] || { echo "unknown target: $t (one of: ${all[*]})" >&2; exit 2; }
done

build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQ8_FUZZ=ON -DQ8_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/q8_fuzz_}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/q8fuzz-run-XXXXXX")
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Each target is one single-threaded process: run as many side by side as
# there are processors (Q8_FUZZ_JOBS), each still for the full time.
jobs=${Q8_FUZZ_JOBS:-$(nproc)}
run_target() {
  local t=$1
  mkdir -p "$scratch/$t/corpus" "$scratch/$t/found"
  cp "$root/fuzz/corpus/$t/"* "$scratch/$t/corpus/"
  if "$build/fuzz/q8_fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$scratch/$t/found/" -print_final_stats=1 "$scratch/$t/corpus" \
       >"$scratch/$t/log" 2>&1; then
    touch "$scratch/$t/passed"
  fi
}
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
wait

failed=()
printf '%-12s %10s %8s %8s %8s\n' target exec/s cov ft corpus
for t in "${targets[@]}"; do
  [ -e "$scratch/$t/passed" ] || failed+=("$t")
  last=$(grep -E '^#[0-9]+.*cov: ' "$scratch/$t/log" | tail -n 1 || true)
  field() { sed -nE "s|.* $1: ([^ ]+).*|\\1|p" <<<"$last"; }
  printf '%-12s %10s %8s %8s %8s\n' "$t" "$(field exec/s)" "$(field cov)" "$(field ft)" \
    "$(field corp)"
done

if [ ${#failed[@]} -gt 0 ]; then
  for t in "${failed[@]}"; do
    echo "== $t failed; log and input kept in $scratch/$t" >&2
    grep -E 'ORACLE FAILED|ERROR: |SUMMARY|Test unit written' "$scratch/$t/log" >&2 || true
  done
  exit 1
fi
rm -rf "$scratch"
