#!/usr/bin/env bash
# Runs one whole working session of the program (open, type, encrypt, decrypt, save, close: session_driver)
# under valgrind with a throwaway GnuPG home, and fails on any invalid memory access and on any definite
# leak whose stack passes through our own code. Not part of `make test` (it takes minutes).
#
# Usage: tests/reliability/valgrind.sh [build-dir]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

command -v valgrind >/dev/null || { echo "FAIL: valgrind is not installed (apt-get install valgrind)" >&2; exit 1; }
cmake --build "$build" --target session_driver -j"$(nproc)" >/dev/null
driver="$build/tests/reliability/session_driver"

work=$(mktemp -d /tmp/zvvgXXXXXX)
cleanup() {
  gpgconf --homedir "$work/g" --kill all >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 700 "$work/g"
echo allow-loopback-pinentry >"$work/g/gpg-agent.conf"
export GNUPGHOME="$work/g"
gpg --batch --quiet --import "$root/tests/goma/keys/bob.sec.asc" 2>/dev/null
echo "AE7267067084FE3BBDEF6682122EB93A0C64CAB3:6:" | gpg --batch --quiet --import-ownertrust 2>/dev/null
mkdir -p "$work/config/zuvelo-pgp" "$work/home"
echo "default-key=AE7267067084FE3BBDEF6682122EB93A0C64CAB3" >"$work/config/zuvelo-pgp/goma.conf"
printf '日本語の文書です。\r\n波ダッシュ～と全角マイナス－、①②。\r\n' | iconv -f UTF-8 -t CP932 >"$work/doc.txt"

export XDG_CONFIG_HOME="$work/config" HOME="$work/home" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
log="$work/valgrind.log"
echo "== running the session under valgrind (this takes a while)"
set +e
valgrind --child-silent-after-fork=yes --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=40 \
  --log-file="$log" "$driver" "$work/doc.txt"
rc=$?
set -e
cp "$log" "$build/valgrind-session.log"

# Our own code: frames in a file of this source tree. A leak or use of uninitialised memory is ours when
# the first frame past the allocator (or the frame where it was used) is ours; a leak inside a library that
# merely passes through our code on the way (font caches, for one) is the library's.
ours=$(cd "$root" && find src goma tests -name '*.cpp' -o -name '*.h' | xargs -n1 basename | sort -u | paste -sd'|')
bad=$(awk -v ours="[(](${ours//./[.]}):[0-9]+[)]" '
  function flush() { if (rec != "" && keep) print rec "\n"; rec = ""; keep = 0; kind = ""; decided = 0 }
  /^==[0-9]+== *$/ { flush(); next }
  {
    rec = rec "\n" $0
    if ($0 ~ /Invalid (read|write|free)|Mismatched free|overlap in memcpy|points to unaddressable/) keep = 1
    else if ($0 ~ /definitely lost in loss record/) kind = "leak"
    else if ($0 ~ /uninitialised/) kind = "uninit"
    else if (kind != "" && !decided && $0 ~ /(at|by) 0x[0-9A-F]+:/) {
      if (kind == "leak" && $0 ~ /(malloc|calloc|realloc|memalign|operator new|strdup)/) next
      decided = 1
      if ($0 ~ ours) keep = 1
    }
  }
  END { flush() }
' "$log")
summary=$(grep -E "ERROR SUMMARY|definitely lost:|indirectly lost:" "$log" | sed 's/^==[0-9]*== //')
echo "$summary"
if [ $rc -ne 0 ]; then
  echo "FAIL: the session itself failed (exit $rc); log: $build/valgrind-session.log" >&2
  exit 1
fi
if [ -n "$bad" ]; then
  echo "$bad"
  echo "FAIL: invalid accesses or leaks of our own code (log: $build/valgrind-session.log)" >&2
  exit 1
fi
echo "OK: no invalid access and no definite leak of our own (log: $build/valgrind-session.log)"
