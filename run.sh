#!/usr/bin/env bash
# Sets everything up (packages, build) and starts the tool. When the
# controller simulator is built, it runs as the tool's controller: a fresh
# copy of sample card A, the tool's address already filled in, in a
# settings store and program folder of the demo's own.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
TARVO_SETUP=run source "$ROOT/scripts/setup.sh"
BIN="$BUILD_DIR/bin"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found: start ./run.sh on a desktop, or under a virtual one with: xvfb-run -a ./run.sh" >&2
  exit 1
fi

exec "$ROOT/scripts/demo.sh" "$BIN"
