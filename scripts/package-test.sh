#!/usr/bin/env bash
# Builds the Debian package, installs it, and checks it as a technician's
# PC would use it: an ordinary user's TFTP server binds UDP 69 (thanks to
# the postinst's capability) and serves a real TFTP client on loopback; the
# tool answers --version and --help without a display; the desktop entry is
# valid; lintian finds no error or warning; the programs pass
# hardening-check; the AppStream metadata and the manual pages are valid; a
# purge leaves none of the package's files behind.
#
# As root, on Debian 12, no display needed. The machine is left as it was,
# also when a step fails: the package, the packages it pulled in, the
# throwaway user and the temporary folders are removed again.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TARVO_BUILD_DIR:-$ROOT/build}"
PKG=tarvo-config-updater
LIB=/usr/lib/tarvo-config-updater
TEST_USER=tarvo-pkgtest

if [[ $(id -u) -ne 0 ]]; then
  echo "package-test: run as root (it installs and purges the package)" >&2
  exit 1
fi
if dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -q "ok installed"; then
  echo "package-test: $PKG is already installed here; purge it first (apt-get purge $PKG)" >&2
  exit 1
fi

passed=0
failed=0
check() {  # NAME COMMAND...
  local name="$1"; shift
  if "$@"; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

# What the test itself needs: the package build's tools (help2man for the
# manual pages), a TFTP client, the desktop file checker, lintian,
# hardening-check (devscripts), appstreamcli and man.
need=()
for p in dpkg-dev file help2man desktop-file-utils tftp-hpa iproute2 lintian devscripts appstream man-db; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

WORK="$(mktemp -d -t tarvo-pkgtest.XXXXXX)"
chmod 755 "$WORK"
SERVER_PID=""
MADE_USER=""
dpkg-query -W -f='${Package}\n' | sort > "$WORK/packages-before"

cleanup() {
  set +e
  if [[ -n "$SERVER_PID" ]]; then
    kill "$SERVER_PID" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$SERVER_PID" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$SERVER_PID" 2>/dev/null
  fi
  if dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -q "installed"; then
    apt-get purge -y -qq "$PKG" >/dev/null 2>&1
  fi
  # The packages the install pulled in go again.
  dpkg-query -W -f='${Package}\n' | sort > "$WORK/packages-after"
  mapfile -t pulled < <(comm -13 "$WORK/packages-before" "$WORK/packages-after")
  if ((${#pulled[@]})); then
    echo "package-test: removing what the install pulled in: ${pulled[*]}"
    apt-get purge -y -qq "${pulled[@]}" >/dev/null 2>&1
  fi
  if [[ -n "$MADE_USER" ]]; then
    userdel "$TEST_USER" || echo "package-test: could not remove the user $TEST_USER" >&2
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- build and install --------------------------------------------------------
if [[ -f "$BUILD_DIR/build.ninja" ]]; then
  # Again, so that a help2man installed since the first one is found.
  cmake -S "$ROOT" -B "$BUILD_DIR" >/dev/null
else
  (cd "$ROOT" && cmake --preset dev -B "$BUILD_DIR")
fi
cmake --build "$BUILD_DIR" --target tarvo-config-updater OpenTFTPServerMT controller-sim \
  man-pages package-changelog >/dev/null
(cd "$BUILD_DIR" && cpack -G "DEB;TGZ" -B "$WORK/out" >/dev/null)
DEB="$(ls "$WORK"/out/*.deb)"
TGZ="$(ls "$WORK"/out/*.tar.gz)"
echo "package-test: $(basename "$DEB")"
dpkg-deb -f "$DEB" Depends

# --- the package as lintian sees it -------------------------------------------
# Errors and warnings fail; notes are shown. Overrides are in
# packaging/debian/lintian-overrides, each with its reason.
lintian_clean() {
  local out rc=0
  out="$(lintian --fail-on error,warning --display-info "$DEB" 2>&1)" || rc=$?
  grep -v '^running with root privileges' <<<"$out" | sed 's/^/  /' || true
  return "$rc"
}
check "lintian: no error or warning" lintian_clean
check "the portable folder has the manual pages" bash -c "tar -tzf '$TGZ' > '$WORK/tgz-files' &&
  grep -q '/man/man1/tarvo-config-updater.1.gz\$' '$WORK/tgz-files' &&
  grep -q '/man/man1/controller-sim.1.gz\$' '$WORK/tgz-files' &&
  grep -q '/man/man8/OpenTFTPServerMT.8.gz\$' '$WORK/tgz-files'"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$DEB" >/dev/null
dpkg -L "$PKG" > "$WORK/files"

if ! id "$TEST_USER" >/dev/null 2>&1; then
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$TEST_USER"
  MADE_USER=yes
fi
# setpriv runs the program itself (no child in between), so the PID of a
# background program is the program's own and a kill reaches it.
AS_USER=(setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --init-groups --reset-env
         env -u DISPLAY -u WAYLAND_DISPLAY HOME="$WORK/home")
as_user() { "${AS_USER[@]}" "$@"; }
mkdir -p "$WORK/home" "$WORK/served" "$WORK/fetched"
chown "$TEST_USER" "$WORK/home"

# --- the TFTP server on UDP 69, as an ordinary user ---------------------------
check "the server has cap_net_bind_service" \
  bash -c "getcap '$LIB/OpenTFTPServerMT' | grep -q cap_net_bind_service"
head -c 200000 /dev/urandom > "$WORK/served/config.tgz"
chown -R "$TEST_USER" "$WORK/served"  # the server writes uploads there
if ss -H -uln "sport = :69" | grep -q .; then
  echo "package-test: UDP port 69 is already in use here:" >&2
  ss -uln "sport = :69" >&2
fi
"${AS_USER[@]}" "$LIB/OpenTFTPServerMT" --port 69 --bind 127.0.0.1 --root "$WORK/served" > "$WORK/server.out" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do
  grep -q '^READY\|^FAILED' "$WORK/server.out" && break
  kill -0 "$SERVER_PID" 2>/dev/null || break
  sleep 0.05
done
echo "server: $(head -1 "$WORK/server.out")"
check "an ordinary user's server binds UDP 69 on loopback" grep -q '^READY 69 ' "$WORK/server.out"
(cd "$WORK/fetched" && timeout 30 tftp 127.0.0.1 -c get config.tgz) || true
check "a TFTP client gets config.tgz from it" cmp -s "$WORK/served/config.tgz" "$WORK/fetched/config.tgz"
kill "$SERVER_PID" 2>/dev/null || true
wait "$SERVER_PID" 2>/dev/null || true
SERVER_PID=""

# --- the programs answer without a display ------------------------------------
version_of() {  # PROGRAM: --version exits 0 and prints the version on stdout
  local out
  out="$(as_user "$1" --version 2>/dev/null)" || return 1
  echo "  $out"
  grep -q "[0-9]\+\.[0-9]\+\.[0-9]\+" <<<"$out"
}
help_of() {  # PROGRAM WORD: --help exits 0 and its stdout names WORD
  local out
  out="$(as_user "$1" --help 2>/dev/null)" || return 1
  grep -q -- "$2" <<<"$out"
}
check "tarvo-config-updater --version" version_of /usr/bin/tarvo-config-updater
tool_help() { help_of /usr/bin/tarvo-config-updater --demo && help_of /usr/bin/tarvo-config-updater .config/tarvo; }
check "tarvo-config-updater --help names --demo and the settings" tool_help
check "OpenTFTPServerMT --version" version_of "$LIB/OpenTFTPServerMT"
check "OpenTFTPServerMT --help" help_of "$LIB/OpenTFTPServerMT" --port
check "controller-sim --version" version_of "$LIB/controller-sim"
check "controller-sim --help" help_of "$LIB/controller-sim" --bind
check "the demo script is installed" test -x "$LIB/demo.sh"
check "the sample cards are installed" test -d /usr/share/tarvo-config-updater/cards/A
check "the icons are installed" bash -c 'for s in 32 48 64 128 256; do
    test -s /usr/share/icons/hicolor/${s}x$s/apps/tarvo-config-updater.png || exit 1; done
    test -s /usr/share/icons/hicolor/scalable/apps/tarvo-config-updater.svg'
check "the programs are stripped" bash -c "! file /usr/bin/tarvo-config-updater $LIB/OpenTFTPServerMT $LIB/controller-sim | grep -q 'not stripped'"
check "desktop-file-validate" desktop-file-validate /usr/share/applications/tarvo-config-updater.desktop

# --- hardening ------------------------------------------------------------------
# Control flow protection is not asked for: Debian 12's own C start files
# (Scrt1.o, crti.o) carry no CET marks, so no program linked there has them,
# and Debian 12's dpkg-buildflags does not ask for it either.
# The server and the simulator are built with FORTIFY like the tool, but
# none of their libc calls needs a checked variant (see
# packaging/debian/lintian-overrides), which hardening-check takes for a
# missing FORTIFY: for them that one test is left to the next check, which
# reads the compiler's command lines.
hardened() {  # PROGRAM [hardening-check options]
  local out rc=0
  out="$(hardening-check --nocfprotection "${@:2}" "$1" 2>&1)" || rc=$?
  sed 's/^/  /' <<<"$out"
  return "$rc"
}
check "hardening-check tarvo-config-updater" hardened /usr/bin/tarvo-config-updater
check "hardening-check OpenTFTPServerMT (FORTIFY: below)" hardened "$LIB/OpenTFTPServerMT" --nofortify
check "hardening-check controller-sim (FORTIFY: below)" hardened "$LIB/controller-sim" --nofortify
compiled_hardened() {  # every file of the build was compiled with the flags
  awk '/"command":/ { n++
         if ($0 !~ / -D_FORTIFY_SOURCE=2 / || $0 !~ / -fstack-protector-strong / ||
             $0 !~ / -fstack-clash-protection /) { bad++; print "  without the hardening flags: " $0 } }
       END { print "  " n " files compiled, " bad + 0 " without the flags"; exit !(n > 0 && bad == 0) }' \
    "$BUILD_DIR/compile_commands.json"
}
check "every file of the build is compiled with FORTIFY and the stack protectors" compiled_hardened

# --- AppStream metadata and manual pages -----------------------------------------
METAINFO=/usr/share/metainfo/io.tarvo.config_updater.metainfo.xml
appstream_valid() {  # no error, warning or note; pedantic hints are shown
  local out rc=0
  out="$(appstreamcli validate --no-net --strict --pedantic "$METAINFO" 2>&1)" || rc=$?
  sed 's/^/  /' <<<"$out"
  return "$rc"
}
check "appstreamcli validate --no-net" appstream_valid
# The tree check also matches the file's name to its id and finds the
# desktop file it names as its launchable.
appstream_tree() {
  mkdir -p "$WORK/tree/usr/share/metainfo" "$WORK/tree/usr/share/applications"
  cp "$METAINFO" "$WORK/tree/usr/share/metainfo/"
  cp /usr/share/applications/tarvo-config-updater.desktop "$WORK/tree/usr/share/applications/"
  appstreamcli validate-tree --no-net --strict "$WORK/tree" >/dev/null
}
check "appstreamcli validate-tree: file name, id and launchable agree" appstream_tree
man_renders() {  # PAGE: man formats it with exit status 0 and no warning
  test -s "$1" || return 1
  MANWIDTH=80 man --warnings -E UTF-8 -l "$1" > "$WORK/man.out" 2> "$WORK/man.err" || { cat "$WORK/man.err"; return 1; }
  if [[ -s "$WORK/man.err" ]]; then sed 's/^/  /' "$WORK/man.err"; return 1; fi
  grep -q "SEE ALSO" "$WORK/man.out"
}
check "man -l tarvo-config-updater(1)" man_renders /usr/share/man/man1/tarvo-config-updater.1.gz
check "man -l controller-sim(1)" man_renders /usr/share/man/man1/controller-sim.1.gz
check "man -l OpenTFTPServerMT(8)" man_renders /usr/share/man/man8/OpenTFTPServerMT.8.gz
check "the copyright and changelog are installed" bash -c 'f=/usr/share/doc/tarvo-config-updater
  head -1 $f/copyright | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" &&
  zcat $f/changelog.gz | head -1 | grep -qF "tarvo-config-updater ($(dpkg-query -W -f="\${Version}" tarvo-config-updater))"'

# --- purge ------------------------------------------------------------------
apt-get purge -y -qq "$PKG" >/dev/null
left_behind() {
  local left=0
  while IFS= read -r path; do
    # Folders other packages share (/usr/bin, …) stay; the package's own go.
    [[ -d "$path" && "$path" != *tarvo-config-updater* ]] && continue
    if [[ -e "$path" ]]; then echo "  left behind: $path"; left=1; fi
  done < "$WORK/files"
  return "$left"
}
check "apt-get purge leaves none of the package's $(wc -l < "$WORK/files") paths" left_behind

echo "package-test: $passed passed, $failed failed"
((failed == 0))
