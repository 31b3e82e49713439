#!/usr/bin/env bash
# `make bench`: every figure of the program beside its floor, measured in the same run, in one table.
#
#   bench/run.sh BUILD_DIR [SUMMARY_TSV]
#
# BUILD_DIR is a Release build tree with zuvelo-pgp, bench/bench_app and bench/bare_editor built.
# The rows also go to SUMMARY_TSV (default build/bench/summary.tsv): name, median, unit, floor_median,
# ratio, goal_ratio, ok. A figure that misses its goal is reported as such; the script fails only when
# something could not be measured.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$(cd "${1:?usage: bench/run.sh BUILD_DIR [SUMMARY_TSV]}" && pwd)" || exit 1
summary="${2:-$root/build/bench/summary.tsv}"

program="$build/zuvelo-pgp"
app="$build/bench/bench_app"
bare="$build/bench/bare_editor"
for f in "$program" "$app" "$bare"; do
  if [ ! -x "$f" ]; then
    echo "bench: $f is missing; build the tree first" >&2
    exit 1
  fi
done
for cmd in iconv gpg gpgconf timeout awk; do
  if ! command -v "$cmd" >/dev/null; then
    echo "bench: $cmd is missing" >&2
    exit 1
  fi
done

# A private world: home, settings, runtime folder and GnuPG home (a short path: the agent's sockets live
# there and socket paths are limited in length).
work="$(mktemp -d /tmp/zvbench.XXXXXX)" || exit 1
gnupg="$work/g"
cleanup() {
  gpgconf --homedir "$gnupg" --kill all >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/home" "$work/config/zuvelo-pgp" "$work/run" "$work/out" "$gnupg"
chmod 700 "$work/run" "$gnupg"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" GNUPGHOME="$gnupg"
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false' LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

data="$build/bench/data"
rows="$work/rows.tsv"
: >"$rows"
failed=()

# step LABEL SECONDS COMMAND...: runs one measurement with a time limit and keeps its ROW lines.
step() {
  local label="$1" limit="$2"
  shift 2
  printf '  %-34s' "$label" >&2
  local start=$SECONDS
  if timeout --kill-after=10 "$limit" "$@" >"$work/step.out" 2>"$work/step.err"; then
    grep '^ROW' "$work/step.out" >>"$rows"
    printf ' %3ds\n' $((SECONDS - start)) >&2
  else
    printf ' FAILED\n' >&2
    sed 's/^/      /' "$work/step.err" | tail -n 15 >&2
    grep '^ROW' "$work/step.out" >>"$rows"
    failed+=("$label")
  fi
}

echo "Measuring (each figure alternates with its floor in the same run):" >&2
step "test data" 120 "$app" data "$data"
if [ ! -s "$data/sample-4m.txt" ] || [ ! -s "$data/sample-limit.txt" ] || [ ! -s "$data/sample-1m.txt" ]; then
  echo "bench: no test data" >&2
  exit 1
fi

step "start-up, no file" 180 "$app" process --runs 11 \
  --name "start, no file, to first paint" --floor "bare Qt program, empty" --goal 1.5 \
  -- "$program" -- "$bare"
step "open 4 MB" 300 "$app" process --runs 9 \
  --name "open 4 MB file to first paint" --floor "bare Qt program, same file" --goal 1.1 \
  --rss-name "peak RSS, 4 MB file open" --rss-goal 1.3 \
  -- "$program" "$data/sample-4m.txt" -- "$bare" "$data/sample-4m.txt"
step "open at the character limit" 300 "$app" process --runs 9 \
  --name "open file at the 4194303-char limit" --floor "bare Qt program, same file" --goal 1.1 \
  -- "$program" "$data/sample-limit.txt" -- "$bare" "$data/sample-limit.txt"
# Saving is measured in the build tree, on the disk the user's files are on (/tmp may be held in memory).
mkdir -p "$build/bench/work"
step "in-process figures" 300 "$app" inproc --data "$data" --work "$build/bench/work"
rm -rf "$build/bench/work"
# Vertical writing against horizontal writing of the same 4 MB text, in one process.
step "vertical writing" 300 "$build/bench/bench_vertical" --runs 7

# PGP: the throwaway test key (alice) in the private GnuPG home, its passphrase given through loopback
# to gpg and to the library alike.
key=534444F4E3E5680D7134AF2905EDB72D6BD93FC7
passphrase=alice-pass
pgp_ready=1
echo "allow-loopback-pinentry" >"$gnupg/gpg-agent.conf"
if ! timeout 60 gpg --batch --no-tty --pinentry-mode loopback --passphrase "$passphrase" \
       --import "$root/tests/goma/keys/alice.sec.asc" >"$work/gpg.log" 2>&1 ||
   ! echo "$key:6:" | timeout 60 gpg --batch --no-tty --import-ownertrust >>"$work/gpg.log" 2>&1; then
  echo "bench: cannot set up the GnuPG home:" >&2
  cat "$work/gpg.log" >&2
  pgp_ready=0
  failed+=("PGP set-up")
fi
if [ "$pgp_ready" = 1 ]; then
  printf 'default-key=%s\n' "$key" >"$XDG_CONFIG_HOME/zuvelo-pgp/goma.conf"
  step "PGP library against gpg" 400 \
    "$app" pgp --text "$data/sample-1m.txt" --key "$key" --passphrase "$passphrase" --work "$work/out" --runs 7
fi

# ---- the table and the summary --------------------------------------------------------------------------
mkdir -p "$(dirname "$summary")"
awk -F'\t' -v summary="$summary" '
function num(v) {
  if (v == "" || v == "nan") return "-"
  if (v + 0 >= 100) return sprintf("%.0f", v)
  if (v + 0 >= 10) return sprintf("%.1f", v)
  return sprintf("%.2f", v)
}
BEGIN {
  printf "name\tmedian\tunit\tfloor_median\tratio\tgoal_ratio\tok\n" > summary
  line = "------------------------------------------------------------------------------------------------------------------------------------------"
  printf "%-38s %9s %-4s %-15s %-39s %9s %6s %5s %3s\n", "figure", "median", "", "spread p25-p75", "floor", "median", "ratio", "goal", "ok"
  print line
}
{
  name = $2; unit = $3; med = $4; lo = $5; hi = $6; floor = $7; fmed = $8; ratio = $11; goal = $12; ok = $13
  runs = $14; note = $15
  printf "%-38s %9s %-4s %-15s %-39s %9s %6s %5s %3s\n", name, num(med), unit, num(lo) "-" num(hi), floor, num(fmed), sprintf("%.3f", ratio), goal, ok
  printf "%s\t%.3f\t%s\t%.3f\t%.3f\t%s\t%s\n", name, med, unit, fmed, ratio, goal, ok >> summary
  notes = notes sprintf("  %s: %d samples%s\n", name, runs, note != "" ? "; " note : "")
  if (ok == "no") missed++
  n++
}
END {
  print line
  printf "%d figures, %d within their goal, %d missing it. Ratio = median / floor median; spread = 25th to 75th percentile.\n", n, n - missed, missed
  printf "%s", notes
}' "$rows"
echo "Summary: $summary"

if [ ${#failed[@]} -gt 0 ]; then
  echo "bench: could not measure: ${failed[*]}" >&2
  exit 1
fi
exit 0
