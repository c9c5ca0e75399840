#!/usr/bin/env bash
# The Windows tool end to end, under Wine: tarvo-config-updater.exe backs up
# the Linux controller-sim on a loopback address, then restores the backup
# onto a blank card, with OpenTFTPServerMT.exe under Wine serving UDP port
# 69 (which Wine, unlike Windows, lets only root open: skipped without
# root), all in a network namespace of the test's own. The archive folder is the default one, in the user's local
# application data in the Wine prefix.
#
# Usage: e2e_backup_restore.sh WINE_RUN WINDOWS_BIN LINUX_CONTROLLER_SIM CARDS
# Exit status 77: skipped (not root, or no Linux build of the simulator).
set -euo pipefail
[[ -z "${TARVO_E2E_TRACE:-}" ]] || set -x
wine_run=$1 bin=$2 sim=$3 cards=$4

if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: UDP port 69 under Wine needs root"
  exit 77
fi
if [[ ! -x "$sim" ]]; then
  echo "SKIP: no Linux controller-sim at $sim (build the Linux tree first: ./test.sh or scripts/setup.sh)"
  exit 77
fi
# Everything runs in a network namespace of the test's own that holds the
# loopback interface alone: port 69 is this test's there, whatever the
# machine runs, and nothing can leave it.
if [[ -z "${TARVO_E2E_NAMESPACE:-}" ]]; then
  command -v ip >/dev/null || { echo "SKIP: no ip (iproute2) for a network namespace"; exit 77; }
  ns=tarvo-win-e2e-$$
  ip netns add "$ns"
  trap 'ip netns del "$ns" 2>/dev/null || true' EXIT
  ip -n "$ns" link set lo up
  set +e
  ip netns exec "$ns" env TARVO_E2E_NAMESPACE="$ns" bash "$0" "$@"
  status=$?
  set -e
  exit $status
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-win-e2e.XXXXXX")
sim_pid="" xvfb_pid=""
stop_sim() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
cleanup() {
  stop_sim
  WINEPREFIX="$work/prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
  [[ -z "$xvfb_pid" ]] || { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
# One Windows for both runs (the backup's history is where the restore
# looks for it), on one virtual display: under Wine the server's top-level
# window, by which the tool closes it, needs one.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3> "$work/display" 2> /dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export TARVO_WINE_PREFIX="$work/prefix" TARVO_WINE_HOME="$work/home" TARVO_WINE_DISPLAY=":$(cat "$work/display")"
address=127.0.0.$((100 + RANDOM % 100))

start_sim() {  # CARD_FOLDER
  "$sim" --headless --bind "$address" --card "$1" > "$work/sim.log" 2>&1 < /dev/null &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q "listening on" "$work/sim.log" && return 0
    sleep 0.1
  done
  echo "FAIL: the simulator did not start"; cat "$work/sim.log"; return 1
}
run_tool() {  # ARGUMENTS...: the summary line on stdout, the progress in the log
  set +e
  TARVO_WINE_TIMEOUT=180 "$wine_run" "$bin/tarvo-config-updater.exe" "$@" > "$work/out" 2> "$work/err"
  status=$?
  set -e
  tr -d '\r' < "$work/out" > "$work/summary"
  echo "--- tarvo-config-updater.exe $* (status $status)"
  tr -d '\r' < "$work/err" | tail -n 40
  cat "$work/summary"
}

cp -r "$cards/A" "$work/card-a"
chmod -R u+w "$work/card-a"
start_sim "$work/card-a"
run_tool --backup "$address"
[[ $status -eq 0 ]] || { echo "FAIL: the backup ended with status $status"; exit 1; }
grep -q "^$address"$'\t'"ok"$'\t' "$work/summary" || { echo "FAIL: no ok line for $address"; exit 1; }

# The archive folder: the local application data of the Wine prefix's user.
archives=$(echo "$work"/prefix/drive_c/users/*/AppData/Local/tarvo/"Tarvo Configuration Updater")
[[ -d "$archives" ]] || { echo "FAIL: no archive folder in the local application data"; exit 1; }
kept=$(find "$archives/history" -name 'n*_config.tgz' -print -quit)
[[ -n "$kept" ]] || { echo "FAIL: no backup in the history"; find "$archives"; exit 1; }
[[ -f "$kept.json" ]] || { echo "FAIL: the backup has no record beside it"; exit 1; }
# Windows-valid names throughout: no ':' and no trailing dot or blank.
bad=$(find "$archives" -mindepth 1 | sed "s|^$archives/||" | grep -E ':|[. ]$|[. ]/' || true)
[[ -z "$bad" ]] || { echo "FAIL: names Windows refuses: $bad"; exit 1; }
tar -tzf "$kept" > "$work/members"
grep -q '^zel/.*\.conf$' "$work/members" || { echo "FAIL: the backup holds no zel/*.conf"; exit 1; }
# The card is replaced by a blank one; the restore writes the backup onto it.
stop_sim
# A freshly imaged card: the partitions' mount points, nothing else.
mkdir -p "$work/card-blank/zel" "$work/card-blank/media"
start_sim "$work/card-blank"
run_tool --restore "$address"
[[ $status -eq 0 ]] || { echo "FAIL: the restore ended with status $status"; exit 1; }
stop_sim
restored=0
while IFS= read -r member; do
  cmp "$cards/A/$member" "$work/card-blank/$member" || { echo "FAIL: $member differs after the restore"; exit 1; }
  restored=$((restored + 1))
done < <(grep -v '/$' "$work/members")
[[ $restored -gt 0 ]] || { echo "FAIL: nothing restored"; exit 1; }
echo "PASS: backed up and restored $address under Wine ($restored files)"
