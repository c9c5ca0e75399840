#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (plus the libFuzzer targets) into build-asan/, and runs the whole suite
# there, the short fuzz runs included. Pass ctest options to narrow it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"   # packages, and the ordinary build
ASAN_DIR="$ROOT/build-asan"
if [[ ! -f "$ASAN_DIR/build.ninja" ]]; then
  (cd "$ROOT" && cmake --preset asan-fuzz)
fi
cmake --build "$ASAN_DIR" -j"$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$ASAN_DIR"
# This suite mostly waits too, but sanitized programs need more CPU: three
# at once rather than four.
ctest --output-on-failure -j3 "$@"
