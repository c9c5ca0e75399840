#!/usr/bin/env bash
# Puts beside Windows programs what they need to run: the Qt plugins named,
# and every DLL they (and the plugins) import that is not Windows' own,
# found by following the imports of each file (objdump -p).
# Usage: deploy.sh DIR QT_PLUGIN_DIR "PLUGIN;..." "DLL_DIR;..." PROGRAM...
set -euo pipefail
dir=$1 plugin_dir=$2
IFS=';' read -r -a plugins <<< "$3"
IFS=';' read -r -a dll_dirs <<< "$4"
shift 4
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}

imports() { "$OBJDUMP" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
find_dll() {  # NAME: its path in one of the DLL folders, or nothing (Windows' own)
  local d
  for d in "${dll_dirs[@]}"; do
    find "$d" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null
  done | head -n 1
}

queue=("$@")
for p in "${plugins[@]}"; do
  mkdir -p "$dir/$(dirname "$p")"
  cp -u "$plugin_dir/$p" "$dir/$p"
  queue+=("$dir/$p")
done
declare -A seen=()
while ((${#queue[@]})); do
  f=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(imports "$f"); do
    key=${dll,,}
    [[ -n "${seen[$key]:-}" ]] && continue
    seen[$key]=1
    path=$(find_dll "$dll")
    [[ -n "$path" ]] || continue
    cp -u "$path" "$dir/"
    queue+=("$path")
  done
done
