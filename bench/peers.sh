#!/usr/bin/env bash
# `make bench-peers`: how long the other plain-text editors installed here take to start and to show the
# 4 MB CP932 test file, under a private X server (Xvfb), beside this program measured the same way.
#
#   bench/peers.sh BUILD_DIR
#
# Start: from launch until a window of the process is visible. Opening: from launch with the file until a
# visible window's title names the file (xdotool search --name). Windows are polled every few
# milliseconds, so the figures are good to about 10 ms. Nothing is installed: without a peer editor the
# script says so and ends successfully. BENCH_PEERS replaces the list of editors looked for.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:?usage: bench/peers.sh BUILD_DIR}"
runs="${BENCH_PEER_RUNS:-5}"
limit=60 # seconds a window may take before the run counts as failed

peers=()
for p in ${BENCH_PEERS:-featherpad kwrite mousepad}; do
  if command -v "$p" >/dev/null; then
    peers+=("$(command -v "$p")")
  fi
done
if [ ${#peers[@]} -eq 0 ]; then
  echo "bench-peers: no peer editor installed (looked for: ${BENCH_PEERS:-featherpad kwrite mousepad}); nothing to compare"
  exit 0
fi
for cmd in Xvfb xdotool timeout cmake; do
  if ! command -v "$cmd" >/dev/null; then
    echo "bench-peers: $cmd is missing" >&2
    exit 1
  fi
done

# This program and the test data, from the Release tree.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build "$build" -j"$(nproc)" --target zuvelo-pgp bench_app >/dev/null || exit 1
build="$(cd "$build" && pwd)"
data="$build/bench/data"
"$build/bench/bench_app" data "$data" >/dev/null 2>&1 || { echo "bench-peers: no test data" >&2; exit 1; }
file="$data/sample-4m.txt"

work="$(mktemp -d /tmp/zvpeers.XXXXXX)" || exit 1
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/home" "$work/config" "$work/run"
chmod 700 "$work/run"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY

# A free display number for our own X server.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    display=":$n"
    break
  fi
done
[ -n "$display" ] || { echo "bench-peers: no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 1 100); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool getmouselocation >/dev/null 2>&1 || { echo "bench-peers: Xvfb did not start" >&2; exit 1; }

now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }

# launch_until PROGRAM MODE [FILE]: milliseconds until a window shows (MODE pid) or one whose title names
# FILE shows (MODE name); empty on failure. The program is ended afterwards.
launch_until() {
  local program="$1" mode="$2" file="${3:-}" start pid found="" t
  start=$(now_ms)
  if [ -n "$file" ]; then
    "$program" "$file" >/dev/null 2>&1 &
  else
    "$program" >/dev/null 2>&1 &
  fi
  pid=$!
  while :; do
    if [ "$mode" = pid ]; then
      xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 && found=1
    else
      xdotool search --onlyvisible --name "$(basename "$file")" >/dev/null 2>&1 && found=1
    fi
    t=$(now_ms)
    [ -n "$found" ] && break
    if [ $((t - start)) -gt $((limit * 1000)) ] || ! kill -0 "$pid" 2>/dev/null; then
      break
    fi
    sleep 0.005
  done
  kill "$pid" 2>/dev/null
  sleep 0.2
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -n "$found" ] && echo $((t - start))
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-28s %14s %18s\n' "editor (under Xvfb)" "start, ms" "show 4 MB, ms"
printf '%s\n' "-------------------------------------------------------------"
status=0
for program in "$build/zuvelo-pgp" "${peers[@]}"; do
  name="$(basename "$program")"
  starts=() opens=()
  launch_until "$program" pid >/dev/null # warm-up
  for _ in $(seq 1 "$runs"); do
    s=$(launch_until "$program" pid) && starts+=("$s")
    o=$(launch_until "$program" name "$file") && opens+=("$o")
  done
  sm=$(printf '%s\n' "${starts[@]}" | grep . | median)
  om=$(printf '%s\n' "${opens[@]}" | grep . | median)
  [ "$sm" = "-" ] || [ "$om" = "-" ] && status=1
  printf '%-28s %14s %18s\n' "$name" "$sm" "$om"
done
echo "Medians of $runs runs each; a window is looked for every few milliseconds."
exit $status
