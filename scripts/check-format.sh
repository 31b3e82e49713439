#!/usr/bin/env bash
# Checks that every line changed since the style was set down (the last change of .clang-format) is
# formatted as .clang-format says; the command tables stand between "clang-format off" and "on" markers.
# Code that no change has touched yet keeps its form until it is next edited.
#   scripts/check-format.sh          check (CI runs this)
#   scripts/check-format.sh --fix    format the changed lines in the working tree
set -euo pipefail
cd "$(dirname "$0")/.."
base="$(git log -1 --format=%H -- .clang-format)"
if [ -z "$base" ]; then
  echo "check-format: .clang-format is not committed" >&2
  exit 1
fi
if [ "${1:-}" = "--fix" ]; then
  git clang-format --force --extensions cpp,h "$base" || true
  exit 0
fi
out="$(git clang-format --diff --extensions cpp,h "$base" 2>&1 || true)"
if printf '%s\n' "$out" | grep -q '^diff '; then
  printf '%s\n' "$out"
  echo "check-format: lines above differ from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: changed lines since ${base:0:12} follow .clang-format"
