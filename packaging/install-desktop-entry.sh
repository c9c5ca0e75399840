#!/bin/sh
# Puts the tool of this portable folder into the desktop's application menu:
# writes ~/.local/share/applications/tarvo-config-updater.desktop with this
# folder's launcher and icon. Run it once after unpacking, and again after
# moving the folder. --remove takes the entry out again.
set -eu
here=$(dirname "$(readlink -f "$0")")
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$apps/tarvo-config-updater.desktop"
if [ "${1:-}" = --remove ]; then
  rm -f "$entry"
  echo "Removed $entry"
  exit 0
fi
# Inside a quoted Exec argument, \ " ` and $ are escaped with a backslash,
# and the backslash itself once more for the desktop file's string syntax.
exec_path=$(printf '%s' "$here/tarvo-config-updater.sh" | sed -e 's/[\\"`$]/\\\\&/g')
mkdir -p "$apps"
tmp="$entry.tmp.$$"
sed -e "s|^Exec=.*|Exec=\"$(printf '%s' "$exec_path" | sed -e 's/[|&\\]/\\&/g')\"|" \
    -e "s|^Icon=.*|Icon=$(printf '%s' "$here/tarvo-config-updater.png" | sed -e 's/[|&\\]/\\&/g')|" \
    "$here/tarvo-config-updater.desktop" > "$tmp"
mv "$tmp" "$entry"
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database "$apps" 2>/dev/null || true
fi
echo "Added $entry"
