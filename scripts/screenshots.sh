#!/usr/bin/env bash
# Takes the guide's pictures (docs/images/) of the real window on a virtual
# display: the tool runs a whole backup and restore against the simulated
# controller, and the window is photographed at each stage.
# Usage: scripts/screenshots.sh [BIN_DIR]      (default: build/bin)
# TARVO_SCREENSHOTS_LANGUAGE=de takes them of the German window instead,
# as docs/images/window-*-de.png.
# Needs Xvfb, xdotool and ImageMagick (installed when missing and root).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BIN="$(cd "${1:-$ROOT/build/bin}" && pwd)"
OUT="$ROOT/docs/images"
SHOT_LANGUAGE="${TARVO_SCREENSHOTS_LANGUAGE:-}"

if [[ -z "${TARVO_SCREENSHOTS_DISPLAY:-}" ]]; then
  need=()
  command -v xvfb-run >/dev/null || need+=(xvfb xauth)
  command -v xdotool >/dev/null || need+=(xdotool)
  [[ -x /usr/bin/import ]] || need+=(imagemagick)
  if ((${#need[@]})); then
    [[ $(id -u) -eq 0 ]] || { echo "Install first: ${need[*]}" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
  exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" env TARVO_SCREENSHOTS_DISPLAY=1 "$0" "$BIN"
fi

WORK="$(mktemp -d -t tarvo-shots.XXXXXX)"
SIM_PID=""
TOOL_PID=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in $TOOL_PID $SIM_PID; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

# The same set-up as the demo: a program folder of its own, a TFTP port
# of its own on loopback, and the simulator on a loopback address whose
# console port is free.
TFTP_PORT=$((20000 + RANDOM % 20000))
mkdir -p "$WORK/program" "$WORK/config/tarvo" "$WORK/data"
cp "$BIN/tarvo-config-updater" "$BIN/OpenTFTPServerMT" "$WORK/program/"
printf 'Port=%s\nBind=127.0.0.1\n' "$TFTP_PORT" > "$WORK/program/OpenTFTPServerMT.ini"
cp -r "$ROOT/simulator/cards/A" "$WORK/card-A"
chmod -R u+w "$WORK"
mkfifo "$WORK/control"
ADDRESS=""
for n in $(seq 60 80); do
  "$BIN/controller-sim" --headless --bind "127.0.0.$n" --card "$WORK/card-A" --tftp-port "$TFTP_PORT" \
    < "$WORK/control" > "$WORK/sim.log" 2>&1 &
  SIM_PID=$!
  exec 3> "$WORK/control"
  for _ in $(seq 50); do
    grep -q "listening on" "$WORK/sim.log" && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q "listening on" "$WORK/sim.log"; then ADDRESS="127.0.0.$n"; break; fi
  exec 3>&-
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=""
done
[[ -n "$ADDRESS" ]] || { echo "The simulator could not start on 127.0.0.60 to .80." >&2; exit 1; }
printf '[Comm]\nIP_Addr=%s\n' "$ADDRESS" > "$WORK/config/tarvo/Tarvo Configuration Updater.conf"

env ${SHOT_LANGUAGE:+LANGUAGE="$SHOT_LANGUAGE"} \
  XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" "$WORK/program/tarvo-config-updater" \
  > "$WORK/tool.log" 2>&1 &
TOOL_PID=$!

WINDOW=""
for _ in $(seq 100); do
  WINDOW="$(xdotool search --onlyvisible --name "Tarvo Configuration Updater" 2>/dev/null | head -1 || true)"
  [[ -n "$WINDOW" ]] && break
  sleep 0.1
done
[[ -n "$WINDOW" ]] || { echo "The window did not appear." >&2; exit 1; }

shoot() {  # NAME
  sleep 0.5
  mkdir -p "$OUT"
  local name="$1${SHOT_LANGUAGE:+-$SHOT_LANGUAGE}"
  import -window "$WINDOW" "$OUT/$name.png"
  echo "docs/images/$name.png"
}
# Positions in the window, from its design in twips at 96 dpi (15 twips a pixel).
click_start() { xdotool mousemove --window "$WINDOW" 212 48 click 1; }
double_click_status() { xdotool mousemove --window "$WINDOW" 100 140 click --repeat 2 1; }

files_on_card() {  # the simulator's count of files on its card
  echo files >&3
  sleep 0.5
  grep -o '^files: [0-9]*' "$WORK/sim.log" | tail -1 | cut -d' ' -f2
}
saved_archive() { find "$WORK/program" "$WORK/data" -name config.tgz -size +0 2>/dev/null | grep -q .; }

shoot window-start
click_start
# The swap instructions follow shortly after the archive has arrived.
for _ in $(seq 240); do saved_archive && break; sleep 0.5; done
saved_archive || { echo "No archive arrived; the tool's output is in its log:" >&2; cat "$WORK/tool.log" >&2; exit 1; }
sleep 6
shoot window-swap
double_click_status
shoot window-log
double_click_status

# The card swap, as the technician does it: power off, a blank card,
# power on; then Continue.
echo "power off" >&3
echo "card blank" >&3
echo "power on" >&3
sleep 2
BLANK_CARD="$(files_on_card)"
click_start
# The restore is through when the new card has files again and their
# number has stopped changing.
last=-1 same=0
for _ in $(seq 240); do
  now="$(files_on_card)"
  if ((now > BLANK_CARD && now == last)); then ((++same >= 3)) && break; else same=0; fi
  last=$now
done
sleep 6
shoot window-done
# The cleanup ends the tool and the simulator.
