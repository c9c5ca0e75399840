#!/usr/bin/env bash
# The demo: the tool against the simulated controller on this PC.
# Usage: demo.sh BIN_DIR
#
# Everything lives in a temporary folder of the demo's own: a program
# folder holding the tool and its TFTP server (which keeps config.tgz
# there), fresh copies of the sample cards, and a settings store that
# already holds the simulator's address. The user's own settings and the
# shipped cards are never touched.
set -euo pipefail
BIN="$1"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SHELL_PORT=1138

if [[ ! -x "$BIN/controller-sim" || ! -x "$BIN/OpenTFTPServerMT" ]]; then
  echo "The simulator or the TFTP server is not built; starting the tool alone." >&2
  exec "$BIN/tarvo-config-updater"
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
if port_in_use t "$SHELL_PORT"; then
  echo "TCP port $SHELL_PORT is taken on this PC (another controller or demo?); close it and try again." >&2
  exit 1
fi
TFTP_PORT=16969
while port_in_use u "$TFTP_PORT"; do TFTP_PORT=$((TFTP_PORT + 1)); done

PC="$DEMO/program"
mkdir -p "$PC" "$DEMO/config/tarvo"
cp "$BIN/tarvo-config-updater" "$BIN/OpenTFTPServerMT" "$PC/"
# An unprivileged port on loopback, so the demo needs no root for port 69.
printf 'Port=%s\nBind=127.0.0.1\n' "$TFTP_PORT" > "$PC/OpenTFTPServerMT.ini"
cp -r "$ROOT/simulator/cards/A" "$DEMO/card-A"
cp -r "$ROOT/simulator/cards/B" "$DEMO/card-B"
chmod -R u+w "$DEMO"
printf '[Comm]\nIP_Addr=127.0.0.1\n' > "$DEMO/config/tarvo/Tarvo Configuration Updater.conf"

"$BIN/controller-sim" --bind 127.0.0.1 --port "$SHELL_PORT" --card "$DEMO/card-A" --tftp-port "$TFTP_PORT" &
SIM_PID=$!
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$SHELL_PORT") 2>/dev/null && break
  kill -0 "$SIM_PID" 2>/dev/null || { echo "The simulated controller did not start." >&2; exit 1; }
  sleep 0.1
done

cat <<TEXT
Demo: the simulated laser runs on 127.0.0.1 with sample card A.
  1. Click Start in the updater: the configuration is backed up.
  2. In the simulator's window: power off, replace the card (blank, or the
     sample card B in $DEMO/card-B), power on.
  3. Click Continue in the updater: the configuration is restored.
TEXT
XDG_CONFIG_HOME="$DEMO/config" "$PC/tarvo-config-updater"
