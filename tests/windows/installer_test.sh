#!/usr/bin/env bash
# The Windows installers under Wine: each installed silently (/S) into a
# fresh Wine prefix, checked (the files in Program Files, the Start-menu
# entries, the Add/Remove Programs entry with version and publisher, the
# installed tool answering), uninstalled silently with its own uninstaller,
# and checked to be gone. The ordinary installer's uninstaller must not be
# uninst.exe (the tool starts an uninst.exe beside itself when it closes);
# the service package's must be.
#
# Wine's netsh knows no "advfirewall": the firewall rule the installer adds
# and removes cannot be seen under Wine, and is not checked here.
#
# Usage: installer_test.sh WINE_RUN RELEASE_DIR VERSION PUBLISHER
set -euo pipefail
wine_run=$1 release=$2 version=$3 publisher=$4
title="Tarvo Configuration Updater"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-win-installer.XXXXXX")
cleanup() {
  WINEPREFIX="$work/prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
export TARVO_WINE_PREFIX="$work/prefix" TARVO_WINE_HOME="$work/home" TARVO_WINE_TIMEOUT=180
wine() { "$wine_run" "$@"; }
reg_value() {  # KEY VALUE: the value's data
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}
fail() { echo "FAIL: $*"; exit 1; }

check() {  # SETUP UNINSTALLER
  local setup=$1 uninstaller=$2
  echo "--- $setup"
  local dir="$work/prefix/drive_c/Program Files/$title"
  local menu="$work/prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$title"
  local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$title"
  wine "$release/$setup" /S
  WINEPREFIX="$work/prefix" timeout 60 wineserver -w || true
  for f in tarvo-config-updater.exe OpenTFTPServerMT.exe controller-sim.exe Qt6Core.dll Qt6Widgets.dll \
           libstdc++-6.dll platforms/qwindows.dll controller-sim-cards/A "$uninstaller"; do
    [[ -e "$dir/$f" ]] || fail "$f was not installed"
  done
  if [[ $uninstaller != uninst.exe && -e "$dir/uninst.exe" ]]; then
    fail "the ordinary installer left an uninst.exe, which the tool would start at every close"
  fi
  [[ -f "$menu/$title.lnk" ]] || fail "no Start-menu entry for the tool"
  [[ -f "$menu/$title demo.lnk" ]] || fail "no Start-menu entry for the demo"
  [[ "$(reg_value "$key" DisplayVersion)" == "$version" ]] || fail "Add/Remove Programs shows no version $version"
  [[ "$(reg_value "$key" Publisher)" == "$publisher" ]] || fail "Add/Remove Programs shows no publisher"
  [[ "$(reg_value "$key" UninstallString)" == "\"C:\\Program Files\\$title\\$uninstaller\"" ]] \
    || fail "the uninstall entry names another uninstaller: $(reg_value "$key" UninstallString)"
  # The installed tool runs from Program Files with what was installed beside it.
  wine "C:\\Program Files\\$title\\tarvo-config-updater.exe" --version | tr -d '\r' \
    | grep -qx "tarvo-config-updater $version" || fail "the installed tool does not answer --version"

  wine "C:\\Program Files\\$title\\$uninstaller" /S
  # The NSIS uninstaller runs on from a copy in the temporary folder.
  WINEPREFIX="$work/prefix" timeout 60 wineserver -w || true
  [[ ! -e "$dir" ]] || { find "$dir"; fail "the program folder is still there after the uninstall"; }
  [[ ! -e "$menu" ]] || fail "the Start-menu entries are still there after the uninstall"
  [[ -z "$(reg_value "$key" DisplayVersion)" ]] || fail "the Add/Remove Programs entry is still there"
  echo "ok: $setup installs and uninstalls with $uninstaller"
}

check "tarvo-config-updater-$version-setup.exe" Uninstall.exe
check "tarvo-config-updater-$version-service-setup.exe" uninst.exe
echo "PASS: both installers"
