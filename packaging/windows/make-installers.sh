#!/usr/bin/env bash
# Stages the Windows release from the build's bin/ folder and makes, in
# OUT_DIR, the ordinary installer, the one-time service package and the
# portable zip (see installer.nsi).
# Usage: make-installers.sh BIN_DIR OUT_DIR VERSION PUBLISHER SOURCE_DIR
set -euo pipefail
bin=$1 out=$2 version=$3 publisher=$4 src=$5
STRIP=${STRIP:-x86_64-w64-mingw32-strip}
name=tarvo-config-updater-$version
stage="$out/$name-windows"

rm -rf "$stage"
mkdir -p "$stage"
cp -r "$bin"/. "$stage"/
# Debian's MinGW libstdc++ and the Qt DLLs carry their symbols: 62 MB to 26.
find "$stage" -type f \( -iname '*.exe' -o -iname '*.dll' \) -exec "$STRIP" --strip-unneeded {} +
cp "$src/docs/guide.md" "$stage/guide.md"

# The icon of the installer and its entries: the 256-pixel PNG in an .ico
# (one image, stored as PNG, as Windows Vista and later read it).
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
png="$src/packaging/icons/tarvo-config-updater-256.png"
{
  printf '\x00\x00\x01\x00\x01\x00'               # ICONDIR: an icon, one image
  printf '\x00\x00\x00\x00\x01\x00\x20\x00'       # 256 x 256, 1 plane, 32 bits
  le32 "$(stat -c %s "$png")"
  le32 22                                         # the image follows the entry
  cat "$png"
} > "$stage/tarvo-config-updater.ico"

# What the installer installs and its uninstaller removes, file by file.
files="$out/files.nsh" unfiles="$out/unfiles.nsh"
: > "$files"
: > "$unfiles"
while IFS= read -r -d '' dir; do
  rel=${dir#"$stage"}
  printf 'SetOutPath "$INSTDIR%s"\n' "${rel//\//\\}" >> "$files"
  while IFS= read -r -d '' f; do
    printf 'File "%s"\n' "$f" >> "$files"
    r=${f#"$stage"}
    printf 'Delete "$INSTDIR%s"\n' "${r//\//\\}" >> "$unfiles"
  done < <(find "$dir" -maxdepth 1 -type f -print0 | sort -z)
done < <(find "$stage" -type d -print0 | sort -z)
printf 'SetOutPath "$INSTDIR"\n' >> "$files"
while IFS= read -r -d '' dir; do
  rel=${dir#"$stage"}
  printf 'RMDir "$INSTDIR%s"\n' "${rel//\//\\}" >> "$unfiles"
done < <(find "$stage" -mindepth 1 -type d -print0 | sort -rz)

size_kb=$(du -sk "$stage" | cut -f1)
for kind in ordinary service; do
  defines=()
  outfile="$out/$name-setup.exe"
  if [[ $kind == service ]]; then
    defines=(-DSERVICE_PACKAGE)
    outfile="$out/$name-service-setup.exe"
  fi
  makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DPUBLISHER=$publisher" "-DSTAGE=$stage" \
    "-DFILES=$files" "-DUNFILES=$unfiles" "-DOUTFILE=$outfile" -DICON=tarvo-config-updater.ico \
    "-DSIZE_KB=$size_kb" "${defines[@]}" "$src/packaging/windows/installer.nsi"
done

rm -f "$out/$name-windows.zip"
(cd "$out" && zip -qr9 "$name-windows.zip" "$(basename "$stage")")
ls -l "$out/$name-setup.exe" "$out/$name-service-setup.exe" "$out/$name-windows.zip"
