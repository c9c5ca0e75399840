#!/usr/bin/env bash
# Installs what the project needs from Debian's packages (when missing) and
# builds it into build/. Sourced by run.sh and test.sh; idempotent, and
# quick when nothing changed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TARVO_BUILD_DIR:-$ROOT/build}"

# Build tools and libraries (lupdate and lrelease, and their CMake API in
# qt6-tools-dev, build the translations); for the tests also the peers they talk to
# and clang for the sanitizer and fuzz build; Qt's own translations (its dialogs'
# buttons in the operator's language). TARVO_SETUP=run skips the test-only ones.
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-l10n-tools qt6-tools-dev libarchive-dev libssl-dev qt6-translations-l10n)
if [[ "${TARVO_SETUP:-test}" != run ]]; then
  # busybox-static (it replaces busybox): the tftp client of the interop
  # tests, and the shell of the real-shell tier, chrooted as on the lasers.
  PACKAGES+=(tftp-hpa atftp curl busybox-static tftpd-hpa clang libclang-rt-14-dev)
  # ip netns and veth pairs: the tests on a real link.
  PACKAGES+=(iproute2)
  # cmake --build build --target package: the .deb's dependencies and
  # stripping, and the manual pages (the run set-up goes without them).
  PACKAGES+=(dpkg-dev file help2man)
fi

source "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh"
install_packages "${PACKAGES[@]}"

# TARVO_WERROR=ON (as CI sets it) makes every warning an error.
WERROR="${TARVO_WERROR:-OFF}"
# run.sh builds only the programs it starts; the tests need everything.
BUILD_TARGETS=()
if [[ "${TARVO_SETUP:-test}" == run ]]; then
  BUILD_TARGETS=(--target tarvo-config-updater OpenTFTPServerMT controller-sim)
fi
if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
  if [[ "${TARVO_SETUP:-test}" == run ]]; then
    echo "First start: building the tool, its TFTP server and the simulator takes a few minutes; later starts are quick."
  fi
  (cd "$ROOT" && cmake --preset dev -B "$BUILD_DIR" -DTARVO_WERROR="$WERROR" ${TARVO_CMAKE_ARGS:-})
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" "${BUILD_TARGETS[@]}"
