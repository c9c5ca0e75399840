#!/usr/bin/env bash
# The demo: the tool against the simulated controller on this PC.
# Usage: demo.sh BIN_DIR
set -euo pipefail
BIN="$1"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEMO="$(mktemp -d -t tarvo-demo.XXXXXX)"
SIM_PID=""
cleanup() {
  if [[ -n "$SIM_PID" ]]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$DEMO"
}
trap cleanup EXIT INT TERM

if [[ ! -x "$BIN/controller-sim" ]]; then
  # Without the simulator the tool runs on its own, against a real laser.
  "$BIN/tarvo-config-updater"
  exit $?
fi
"$BIN/tarvo-config-updater"
