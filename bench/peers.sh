#!/usr/bin/env bash
# `make bench-peers`: this program beside the other plain-text editors of the system, every one measured the
# same way, by the pixels of its window under one private X server (Xvfb).
#
#   bench/peers.sh BUILD_DIR
#
# For each editor (this program, the bare Qt program that is `make bench`'s floor, and the peers):
#   start:  from launch until its empty window is painted (the window looks like the settled empty editor);
#   open:   from launch with the 4 MB CP932 test file until the first text of the file is painted (the middle
#           of the window, where every editor shows text, differs from the empty editor and holds more than
#           one colour);
#   shown correctly: the settled window of that opening against the same editor opening the same text as
#           UTF-8 (which every peer reads without help); a peer showing mojibake or an error differs.
# Peers get the switch they have for CP932 (KWrite and Mousepad --encoding CP932, gedit --encoding
# SHIFT_JIS, which is the nearest it lists; FeatherPad has none). Runs alternate between the editors, the
# order turning every round; the table gives medians. Missing peers are installed from Debian
# (--no-install-recommends first); BENCH_PEERS replaces the list, BENCH_PEER_RUNS the number of runs (5).
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:?usage: bench/peers.sh BUILD_DIR}"
runs="${BENCH_PEER_RUNS:-5}"
[ "$runs" -ge 5 ] 2>/dev/null || runs=5
limit=60 # seconds a window may take before the run counts as failed
wanted=(${BENCH_PEERS:-featherpad kwrite mousepad gedit})

# ---- peers and tools ----------------------------------------------------------------------------------------
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_updated=0
install_package() { # PACKAGE: quietly, without recommended packages where that suffices
  export DEBIAN_FRONTEND=noninteractive
  if [ "$apt_updated" = 0 ]; then
    $sudo apt-get update -qq >/dev/null 2>&1 || true
    apt_updated=1
  fi
  $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "$1" >/dev/null 2>&1 ||
    $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$1" >/dev/null 2>&1
}
for tool in Xvfb:xvfb xdotool:xdotool iconv:libc-bin cmake:cmake; do
  command -v "${tool%%:*}" >/dev/null || install_package "${tool#*:}" ||
    { echo "bench-peers: ${tool%%:*} is missing and cannot be installed" >&2; exit 1; }
done
peers=()
for p in "${wanted[@]}"; do
  if ! command -v "$p" >/dev/null; then
    echo "bench-peers: installing $p" >&2
    install_package "$p" || echo "bench-peers: $p cannot be installed; left out" >&2
  fi
  command -v "$p" >/dev/null && peers+=("$p")
done

# This program, the bare Qt program, the probe and the test data, from the Release tree.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build "$build" -j"$(nproc)" --target zuvelo-pgp bench_app bare_editor window_probe >/dev/null || exit 1
build="$(cd "$build" && pwd)"
probe="$build/bench/window_probe"
data="$build/bench/data"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_app" data "$data" >/dev/null 2>&1 ||
  { echo "bench-peers: no test data" >&2; exit 1; }

work="$(mktemp -d /tmp/zvpeers.XXXXXX)" || exit 1
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
file="$work/sample-4m.txt"      # the editors see the same name in the same folder
utf8="$work/utf8/sample-4m.txt" # the same text as UTF-8, for the check of what they showed
mkdir -p "$work/home" "$work/config" "$work/run" "$work/utf8" "$work/shots"
cp "$data/sample-4m.txt" "$file"
iconv -f CP932 -t UTF-8 "$file" >"$utf8" || { echo "bench-peers: iconv cannot convert the sample" >&2; exit 1; }
chmod 700 "$work/run"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    display=":$n"
    break
  fi
done
[ -n "$display" ] || { echo "bench-peers: no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -br -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 1 100); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool getmouselocation >/dev/null 2>&1 || { echo "bench-peers: Xvfb did not start" >&2; exit 1; }

# command NAME KIND: the command line of an editor, KIND empty (no file), cp932 (the test file) or utf8.
command_of() {
  local name="$1" kind="$2" f="" enc=""
  case "$kind" in
  cp932) f="$file" enc=cp932 ;;
  utf8) f="$utf8" enc=utf8 ;;
  esac
  case "$name" in
  zuvelo-pgp) echo "$build/zuvelo-pgp" ${f:+"$f"} ;;
  bare-qt) echo "$build/bench/bare_editor" ${f:+"$f"} ;;
  kwrite) echo kwrite ${enc:+--encoding} ${enc:+$([ "$enc" = cp932 ] && echo CP932 || echo UTF-8)} ${f:+"$f"} ;;
  mousepad) echo mousepad --disable-server ${enc:+--encoding=$([ "$enc" = cp932 ] && echo CP932 || echo UTF-8)} ${f:+"$f"} ;;
  gedit) echo gedit --standalone ${enc:+--encoding=$([ "$enc" = cp932 ] && echo SHIFT_JIS || echo UTF-8)} ${f:+"$f"} ;;
  *) echo "$name" ${f:+"$f"} ;;
  esac
}
# probe MODE FILE [OPTIONS] -- NAME KIND: milliseconds, or empty when the editor failed.
probe_run() {
  local mode="$1" shot="$2" name kind out
  shift 2
  local opts=()
  while [ "$1" != "--" ]; do opts+=("$1"); shift; done
  name="$2" kind="$3"
  # shellcheck disable=SC2046 # the command line is split on purpose (no spaces in its parts)
  out=$("$probe" "$mode" "$shot" --timeout "$limit" "${opts[@]}" -- $(command_of "$name" "$kind") 2>>"$work/probe.log")
  sleep 0.3 # the X server settles after the window has gone
  [ -n "$out" ] && echo "${out#ms=}"
}

editors=(zuvelo-pgp bare-qt "${peers[@]}")
echo "Preparing: the settled windows of every editor, empty and with the UTF-8 text" >&2
usable=()
for e in "${editors[@]}"; do
  probe_run shot "$work/shots/$e.empty" -- "$e" "" >/dev/null # also the first start: caches are warm
  if ! probe_run shot "$work/shots/$e.empty" -- "$e" "" >/dev/null; then
    echo "bench-peers: $e shows no window; left out" >&2
    continue
  fi
  case "$e" in
  zuvelo-pgp | bare-qt) ;; # they read CP932 only
  *) probe_run shot "$work/shots/$e.utf8" -- "$e" utf8 >/dev/null ;;
  esac
  usable+=("$e")
done

declare -A starts opens
echo "Measuring, $runs rounds, the editors alternating" >&2
for r in $(seq 1 "$runs"); do
  n=${#usable[@]}
  for k in $(seq 0 $((n - 1))); do
    e="${usable[$(((k + r) % n))]}"
    s=$(probe_run empty "$work/shots/$e.empty" -- "$e" "") && starts[$e]+="$s "
    extra=()
    [ "$r" = 1 ] && extra=(--final "$work/shots/$e.cp932")
    o=""
    # An editor that painted no text of the file in the first round is not asked again.
    if [ "$r" = 1 ] || [ -n "${opens[$e]:-}" ]; then
      o=$(probe_run text "$work/shots/$e.empty" "${extra[@]}" -- "$e" cp932) && opens[$e]+="$o "
    fi
    printf '  round %d %-12s start %8s ms  open %8s ms\n' "$r" "$e" "${s:--}" "${o:--}" >&2
  done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) printf "%.0f\n", v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
count() { tr ' ' '\n' | grep -c .; }

printf '\n%-22s %10s %18s %6s  %s\n' "editor (under Xvfb)" "start, ms" "4 MB text, ms" "runs" "shown correctly"
printf '%s\n' "--------------------------------------------------------------------------------------------"
status=0
for e in "${usable[@]}"; do
  sm=$(echo "${starts[$e]:-}" | median)
  om=$(echo "${opens[$e]:-}" | median)
  shown="-"
  case "$e" in
  zuvelo-pgp) shown="(not checked here: reads CP932 only; its decoding is tested against iconv)" ;;
  bare-qt) shown="(the floor: iconv into a QPlainTextEdit)" ;;
  *)
    if [ -s "$work/shots/$e.cp932" ] && [ -s "$work/shots/$e.utf8" ]; then
      d=$("$probe" compare "$work/shots/$e.cp932" "$work/shots/$e.utf8" 2>/dev/null)
      d="${d#differ=}"
      if awk -v d="$d" 'BEGIN { exit !(d <= 0.02) }'; then shown="yes"; else shown="no ($d of the text area differs from the UTF-8 text)"; fi
    elif [ -z "${opens[$e]:-}" ]; then
      shown="no (no text painted)"
    fi
    ;;
  esac
  [ "$sm" = "-" ] && status=1
  printf '%-22s %10s %18s %3s/%-2s  %s\n' "$e" "$sm" "$om" "$(echo "${opens[$e]:-}" | count)" "$runs" "$shown"
done
echo "Medians; windows are read every few milliseconds. bare-qt is make bench's floor program."
# The settled windows stay for a look (bench/window_probe writes them; "ZVIMG W H" and 0x00RRGGBB pixels).
rm -rf "$build/bench/peer-shots" && cp -r "$work/shots" "$build/bench/peer-shots" && cp "$work/probe.log" "$build/bench/peer-shots/" &&
  echo "Windows: $build/bench/peer-shots (EDITOR.empty, .utf8, .cp932)"
exit $status
