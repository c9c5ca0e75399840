#!/usr/bin/env bash
# The Windows release, cross-built on Debian 12 with MinGW-w64:
#
#   scripts/windows/build.sh            the three programs in build-win/bin/
#   scripts/windows/build.sh --tests    and the tests of the Windows tier
#   scripts/windows/build.sh --package  and the installers and the portable zip
#
# On a fresh machine it installs what it needs (as root, or with sudo), and
# builds what Debian does not ship for Windows into a cache outside the
# source tree (TARVO_WINDOWS_CACHE, by default ~/.cache/tarvo-windows):
#   - Qt 6 (qtbase) from Debian's own qt6-base source, the version of the
#     host's Qt, whose moc, rcc, uic and lrelease the cross build uses; about
#     10 to 15 minutes on 2 cores, once. A ready copy is used instead when
#     there is one: TARVO_WINDOWS_QT, or ../shared/windows/qt6-mingw beside
#     the clone;
#   - libarchive from Debian's own libarchive source (a minute).
# The sources come through apt, with a deb-src list made from the machine's
# own sources in the cache: the system's configuration is not touched.
# Every warning is an error, as in the Linux build (TARVO_WERROR=OFF to
# relax it).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${TARVO_WINDOWS_BUILD_DIR:-$ROOT/build-win}"
CACHE="${TARVO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo-windows}"
JOBS="${TARVO_JOBS:-$(nproc)}"
TRIPLET=x86_64-w64-mingw32
NICE=(nice -n 10)

WITH_TESTS=OFF
PACKAGE=0
for arg in "$@"; do
  case "$arg" in
    --tests) WITH_TESTS=ON ;;
    --package) PACKAGE=1 ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $arg (see --help)" >&2; exit 2 ;;
  esac
done

log() { echo "[windows] $*" >&2; }

# --- Packages ----------------------------------------------------------------
# The posix thread model of MinGW-w64 (Qt 6 needs std::thread), its zlib for
# libarchive, Wine to run the tests, NSIS for the installer, Xvfb for the
# window's tests; dpkg-dev unpacks Debian's sources.
PACKAGES=(cmake ninja-build perl dpkg-dev qt6-base-dev qt6-base-dev-tools qt6-l10n-tools qt6-tools-dev
          g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
          qt6-translations-l10n wine wine64 nsis xvfb xauth zip iproute2)
source "$ROOT/scripts/install-packages.sh"
install_packages "${PACKAGES[@]}"

TOOLCHAIN="$ROOT/cmake/mingw-w64.cmake"

# --- Debian's sources, through apt, without touching its configuration -------
APT_DIR="$CACHE/apt"
APT_OPTS=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
          -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache" -o Debug::NoLocking=1)
apt_sources_ready=0
prepare_apt_sources() {
  ((apt_sources_ready)) && return 0
  rm -rf "$APT_DIR/sources.list.d"
  mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
  # The machine's own sources, as source lists.
  local f n=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" > "$APT_DIR/sources.list.d/$((n++))-$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$APT_DIR/sources.list.d/$((n++))-$(basename "$f")"
  done
  apt-get "${APT_OPTS[@]}" update -qq
  apt_sources_ready=1
}

# fetch_source PACKAGE VERSION: unpacks Debian's source of that version, its
# patches applied, and prints the folder.
fetch_source() {
  local package=$1 version=$2
  local upstream=${version#*:}
  upstream=${upstream%-*}
  local into="$CACHE/src/$package-$version"
  if [[ ! -f "$into/.unpacked" ]]; then
    prepare_apt_sources
    rm -rf "$into" "$CACHE/src/download-$package"
    mkdir -p "$CACHE/src/download-$package"
    (cd "$CACHE/src/download-$package" && apt-get "${APT_OPTS[@]}" source --download-only -qq "$package=$version" >&2)
    dpkg-source -x --no-check "$CACHE/src/download-$package"/*.dsc "$into" >&2
    touch "$into/.unpacked"
  fi
  echo "$into"
}

source_version() {
  dpkg-query -W -f='${source:Version}' "$1"
}

# --- Qt ------------------------------------------------------------------------
find_qt() {
  if [[ -n "${TARVO_WINDOWS_QT:-}" ]]; then
    echo "$TARVO_WINDOWS_QT"
  elif [[ -d "$ROOT/../shared/windows/qt6-mingw/lib/cmake/Qt6" ]]; then
    (cd "$ROOT/../shared/windows/qt6-mingw" && pwd)
  else
    echo "$CACHE/qt6-mingw"
  fi
}

build_qt() {
  local prefix=$1 version source build
  version=$(source_version qt6-base-dev)
  log "building Qt $version for Windows into $prefix (10 to 15 minutes on 2 cores, once)"
  source=$(fetch_source qt6-base "$version")
  build="$CACHE/build-qt"
  rm -rf "$build" "$prefix"
  mkdir -p "$prefix"
  # The installed Qt's qt.toolchain.cmake loads this copy.
  install -m644 "$TOOLCHAIN" "$prefix/toolchain-mingw.cmake"
  # Off: what the tool does not use, what the dfsg tarball lacks (wintab,
  # iaccessible2, sqlite), and directwrite3 (with direct2d off, Qt 6.4.2's
  # Gui leaves out a class the windows plugin links against). Bundled
  # copies of the third-party libraries only; Schannel for TLS.
  "${NICE[@]}" cmake -S "$source" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain-mingw.cmake" \
    -DTARVO_WINDOWS_QT="$prefix" -DTARVO_WINDOWS_LIBS="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_openssl=OFF -DFEATURE_androiddeployqt=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_freetype=OFF -DFEATURE_pkg_config=OFF -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF \
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_libb2=OFF >/dev/null
  "${NICE[@]}" cmake --build "$build" -j"$JOBS"
  "${NICE[@]}" cmake --install "$build" >/dev/null
  rm -rf "$build"
  touch "$prefix/.complete"
}

# --- libarchive -----------------------------------------------------------------
build_libarchive() {
  local prefix=$1 version=$2 source build
  log "building libarchive $version for Windows into $prefix"
  source=$(fetch_source libarchive "$version")
  build="$CACHE/build-libarchive"
  rm -rf "$build" "$prefix"
  local t0=$SECONDS
  # gzip through Debian's MinGW zlib, linked in; nothing else the tool
  # does not read. Whether zlib wants ZLIB_WINAPI is a test libarchive runs,
  # which a cross build cannot (CMake 3.25 crashes on it): Debian's does not.
  local zlib=/usr/$TRIPLET/lib/libz.a
  "${NICE[@]}" cmake -S "$source" -B "$build" -G Ninja \
    -DZLIB_LIBRARY="$zlib" -DZLIB_WINAPI=0 -DZLIB_WINAPI_WITH_LIB="$zlib" \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DTARVO_WINDOWS_QT="$prefix" -DTARVO_WINDOWS_LIBS="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DENABLE_ZLIB=ON -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_LIBB2=OFF \
    -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_BZip2=OFF \
    -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_PCREPOSIX=OFF \
    -DENABLE_CNG=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
    -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF -DENABLE_WERROR=OFF >/dev/null
  log "libarchive: configured in $((SECONDS - t0)) s"
  # The static library only (the programs carry it, no DLL to deploy):
  # half of what the whole project builds.
  t0=$SECONDS
  "${NICE[@]}" cmake --build "$build" -j"$JOBS" --target archive_static >/dev/null
  install -D -m644 "$build/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
  install -D -m644 -t "$prefix/include" "$source/libarchive/archive.h" "$source/libarchive/archive_entry.h"
  log "libarchive: built in $((SECONDS - t0)) s"
  rm -rf "$build"
  echo "$version" > "$prefix/.complete"
}

QT_PREFIX=$(find_qt)
if [[ ! -d "$QT_PREFIX/lib/cmake/Qt6" ]] || { [[ "$QT_PREFIX" == "$CACHE/qt6-mingw" ]] && [[ ! -f "$QT_PREFIX/.complete" ]]; }; then
  build_qt "$QT_PREFIX"
fi
LIBS_PREFIX="${TARVO_WINDOWS_LIBS:-$CACHE/libs}"
LIBARCHIVE_VERSION=$(source_version libarchive-dev)
if [[ "$(cat "$LIBS_PREFIX/.complete" 2>/dev/null)" != "$LIBARCHIVE_VERSION" ]]; then
  build_libarchive "$LIBS_PREFIX" "$LIBARCHIVE_VERSION"
fi
log "Qt: $QT_PREFIX"
log "libarchive: $LIBS_PREFIX"

# --- The project ---------------------------------------------------------------
(cd "$ROOT" && cmake --preset windows -B "$BUILD_DIR" \
   -DTARVO_WINDOWS_QT="$QT_PREFIX" -DTARVO_WINDOWS_LIBS="$LIBS_PREFIX" \
   -DTARVO_WERROR="${TARVO_WERROR:-ON}" -DBUILD_TESTING="$WITH_TESTS" >/dev/null)
TARGETS=(tarvo-config-updater OpenTFTPServerMT controller-sim windows-deploy)
if [[ $WITH_TESTS == ON ]]; then
  TARGETS+=(windows-tests)
fi
"${NICE[@]}" cmake --build "$BUILD_DIR" -j"$JOBS" --target "${TARGETS[@]}"
if ((PACKAGE)); then
  "${NICE[@]}" cmake --build "$BUILD_DIR" -j"$JOBS" --target windows-installers
fi
log "done: $BUILD_DIR/bin"
