#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in a build tree
# of their own and runs each one for a while over its seed corpus.
#
# Usage: fuzz/run.sh [--seconds N] [--build-dir DIR] [--jobs N] [target...]
#   --seconds N    time for each target (default 12)
#   --build-dir    the clang build tree (default build-fuzz beside this folder's parent)
#   target...      some of: fuzz_textcodec fuzz_iso2022jp fuzz_datetimeformat fuzz_regfile fuzz_armour
#
# Inputs found to be new are kept in <build-dir>/fuzz-work/<target>/corpus, crashes in
# <build-dir>/fuzz-work/<target>/crash-*; the seed corpus in fuzz/corpus/<target>/ is only read. A crash fails
# the run: add the input to fuzz/corpus/<target>/ once the fault is fixed, so that every later run repeats it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
seconds=12
build="$root/build-fuzz"
jobs=$(nproc)
targets=()
all_targets=(fuzz_textcodec fuzz_iso2022jp fuzz_datetimeformat fuzz_regfile fuzz_armour)

while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build-dir) build="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    fuzz_*) targets+=("$1"); shift ;;
    *) echo "fuzz/run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

# clang is part of the build dependencies (scripts/install-deps.sh); without it this is a failure, not a skip.
for tool in clang clang++; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is not installed; the fuzz targets need clang with its libFuzzer runtime." >&2
    echo "      Run scripts/install-deps.sh (packages clang and libclang-rt-14-dev)." >&2
    exit 1
  fi
done

mkdir -p "$build"
# One run at a time per build tree (make fuzz and a test run may meet).
exec 9>"$build/.fuzz-run.lock"
flock 9

if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q '^ZV_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "== configuring $build with clang"
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DZV_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2
    echo "FAIL: configuring the fuzz build failed" >&2
    exit 1
  }
fi
echo "== building ${targets[*]}"
if ! cmake --build "$build" --target "${targets[@]}" -j"$jobs" >"$build/build.log" 2>&1; then
  tail -n 60 "$build/build.log" >&2
  echo "FAIL: building the fuzz targets failed (whole log: $build/build.log)" >&2
  exit 1
fi

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:symbolize=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
# The formatter and the codec follow the locale; fix it so that a crash reproduces anywhere.
export LC_ALL=C.UTF-8 TZ=Asia/Tokyo

max_len() {
  case "$1" in
    fuzz_datetimeformat|fuzz_armour) echo 512 ;;
    *) echo 8192 ;;
  esac
}

status=0
summary=()
for t in "${targets[@]}"; do
  work="$build/fuzz-work/$t"
  mkdir -p "$work/corpus" "$here/corpus/$t"
  args=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -max_len="$(max_len "$t")"
        -print_final_stats=1 -artifact_prefix="$work/")
  [ -f "$here/dict/$t.dict" ] && args+=(-dict="$here/dict/$t.dict")
  seeds=$(find "$here/corpus/$t" -type f | wc -l)
  echo "== $t: ${seconds}s over $seeds seed inputs"
  log="$work/last-run.log"
  set +e
  "$build/fuzz/$t" "${args[@]}" "$work/corpus" "$here/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  corpus=$(find "$work/corpus" -type f | wc -l)
  if [ $rc -ne 0 ]; then
    status=1
    grep -E '^(\*\*\*|==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 20 >&2 || true
    crash=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    echo "FAIL: $t crashed (exit $rc); input: ${crash:-see $log}; log: $log" >&2
    summary+=("$t: CRASH after ${runs:-?} runs (${crash:-no input saved})")
  else
    summary+=("$t: ${runs:-?} runs in ${secs:-?} s, corpus $corpus inputs ($seeds seeds), no crash")
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
