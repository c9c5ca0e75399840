#!/usr/bin/env bash
# The uninstaller's delayed start, started for real under Wine: cmd.exe
# pings the loopback address, then starts the program. It runs in a network
# namespace of its own that holds the loopback interface alone, so that no
# command line, right or wrong, can send anything away from this machine.
# The second start must come two seconds after the first program's start
# (a ping that failed at once would make no pause).
#
# Usage: delayed_start.sh WINE_RUN PROBE.exe
# Exit status 77: skipped (not root: no network namespace).
set -euo pipefail
wine_run=$1 probe=$2
if [[ $(id -u) -ne 0 ]] || ! command -v ip >/dev/null; then
  echo "SKIP: a network namespace needs root and ip"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-win-delayed.XXXXXX")
ns=tarvo-delayed-$$
cleanup() {
  ip netns exec "$ns" env WINEPREFIX="$work/prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link set lo up
[[ "$(ip -n "$ns" -o link show | wc -l)" -eq 1 ]] || { echo "FAIL: the namespace holds more than loopback"; exit 1; }

# The marker as Windows names it: Wine's Z: is /.
mark="$work/mark"
export TARVO_WINE_PREFIX="$work/prefix" TARVO_WINE_HOME="$work/home" TARVO_WINE_TIMEOUT=60
export TARVO_DELAYED_START_MARK="Z:${mark//\//\\}"
ip netns exec "$ns" "$wine_run" "$probe" > "$work/out"
started=$(tr -d '\r' < "$work/out" | head -n 1)
# The interpreter and the second start outlive the first program: they are
# done when the prefix's wineserver is idle.
ip netns exec "$ns" env WINEPREFIX="$work/prefix" timeout 30 wineserver -w || true
[[ -s "$mark" ]] || { echo "FAIL: the program was not started again"; exit 1; }
later=$(cat "$mark")
pause=$((later - started))
echo "the second start came $pause ms after the first"
[[ $pause -ge 1500 ]] || { echo "FAIL: no pause before the second start"; exit 1; }
[[ $pause -le 15000 ]] || { echo "FAIL: the pause took too long"; exit 1; }
echo "PASS: started again after $pause ms, from a namespace with loopback alone"
