#!/usr/bin/env bash
# The demo: the tool against the simulated controller on this PC.
# Usage: demo.sh [BIN_DIR]      BIN_DIR: the folder of tarvo-config-updater
#
# Runs from the source tree (./run.sh), from a portable folder, and installed
# (tarvo-config-updater --demo runs /usr/lib/tarvo-config-updater/demo.sh).
# The programs and sample cards are looked for in each of those layouts.
#
# Everything lives in a temporary folder of the demo's own: a program
# folder holding the tool and its TFTP server (which keeps config.tgz
# there), fresh copies of the sample cards, and a settings store that
# already holds the simulator's address. The user's own settings and the
# shipped cards are never touched.
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BIN="$(cd "${1:-$HERE/../../bin}" && pwd)"
SHELL_PORT=1138

first_of() {  # TEST CANDIDATE...: prints the first candidate that passes
  local test="$1"; shift
  for c in "$@"; do
    if test "$test" "$c"; then (cd "$(dirname "$c")" && printf '%s/%s\n' "$(pwd)" "$(basename "$c")"); return 0; fi
  done
  return 1
}
TOOL="$(first_of -x "$BIN/tarvo-config-updater" "$HERE/../../bin/tarvo-config-updater")" || {
  echo "tarvo-config-updater is not in $BIN." >&2
  exit 1
}
SERVER="$(first_of -x "$BIN/OpenTFTPServerMT" "$BIN/../lib/tarvo-config-updater/OpenTFTPServerMT" \
  "$HERE/OpenTFTPServerMT")" || SERVER=""
SIM="$(first_of -x "$BIN/controller-sim" "$BIN/../lib/tarvo-config-updater/controller-sim" \
  "$HERE/controller-sim")" || SIM=""
CARDS="$(first_of -d "$HERE/../simulator/cards" "$HERE/../../simulator/cards" "$BIN/controller-sim-cards" \
  "$BIN/../share/tarvo-config-updater/cards" "$HERE/../../share/tarvo-config-updater/cards")" || CARDS=""

if [[ -z "$SIM" || -z "$SERVER" || -z "$CARDS" ]]; then
  echo "The simulator, its sample cards or the TFTP server are missing; starting the tool alone." >&2
  exec "$TOOL"
fi

DEMO="$(mktemp -d -t tarvo-demo.XXXXXX)"
SIM_PID=""
cleanup() {
  if [[ -n "$SIM_PID" ]]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$DEMO"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_in_use() {  # PROTO PORT
  (command -v ss >/dev/null && ss -H -"$1"ln "sport = :$2" | grep -q .) || return 1
}
TFTP_PORT=16969
while port_in_use u "$TFTP_PORT"; do TFTP_PORT=$((TFTP_PORT + 1)); done

PC="$DEMO/program"
mkdir -p "$PC" "$DEMO/config/tarvo"
cp "$TOOL" "$SERVER" "$PC/"
# An unprivileged port on loopback, so the demo needs no root for port 69.
printf 'Port=%s\nBind=127.0.0.1\n' "$TFTP_PORT" > "$PC/OpenTFTPServerMT.ini"
cp -r "$CARDS/A" "$DEMO/card-A"
cp -r "$CARDS/B" "$DEMO/card-B"
chmod -R u+w "$DEMO"

# The controller's console port may be taken on 127.0.0.1 (a real
# controller's tunnel, another demo): the simulator then takes the next
# loopback address whose port is free. Its own line says when it listens.
start_simulator() {  # ADDRESS; 0 when it listens
  local log="$DEMO/sim-$1.log"
  "$SIM" --bind "$1" --port "$SHELL_PORT" --card "$DEMO/card-A" --tftp-port "$TFTP_PORT" > "$log" &
  SIM_PID=$!
  for _ in $(seq 100); do
    grep -q "listening on" "$log" 2>/dev/null && return 0
    if ! kill -0 "$SIM_PID" 2>/dev/null; then
      wait "$SIM_PID" 2>/dev/null || true
      SIM_PID=""
      return 1
    fi
    sleep 0.05
  done
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=""
  return 1
}
ADDRESS=""
for n in $(seq 1 20); do
  candidate="127.0.0.$n"
  if start_simulator "$candidate" 2>"$DEMO/sim-error"; then
    ADDRESS="$candidate"
    break
  fi
done
if [[ -z "$ADDRESS" ]]; then
  echo "The simulated controller could not start: TCP port $SHELL_PORT is taken on 127.0.0.1 to 127.0.0.20." >&2
  cat "$DEMO/sim-error" >&2 2>/dev/null || true
  exit 1
fi
printf '[Comm]\nIP_Addr=%s\n' "$ADDRESS" > "$DEMO/config/tarvo/Tarvo Configuration Updater.conf"

cat <<TEXT
Demo: the simulated laser runs on $ADDRESS with sample card A.
  1. Click Start in the updater: the configuration is backed up.
  2. In the simulator's window: power off, replace the card (blank, or the
     sample card B in $DEMO/card-B), power on.
  3. Click Continue in the updater: the configuration is restored.
A simulated laser has no hardware address of its own: the updater knows it
by its address on this PC ($ADDRESS). A second simulator on another address
counts as another laser, and writing one's backup onto the other asks first.
TEXT
XDG_CONFIG_HOME="$DEMO/config" XDG_DATA_HOME="$DEMO/data" "$PC/tarvo-config-updater"
