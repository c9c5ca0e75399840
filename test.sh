#!/usr/bin/env bash
# Sets everything up (packages, build) and runs every test through ctest.
# Pass ctest options to narrow it down, e.g. ./test.sh -L unit
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$ROOT/scripts/setup.sh"
cd "$BUILD_DIR"
# The suite mostly waits (real two-second steps, timeouts), so it runs
# more tests at once than there are cores.
ctest --output-on-failure -j4 "$@"
