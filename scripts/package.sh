#!/usr/bin/env bash
# Builds the Debian package: tavrin_<version>_<arch>.deb in build/package/,
# from the build in build/ (configured and built first if needed). Prints the
# package's path on its last line.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
# shellcheck source=setup.sh
source scripts/setup.sh
TAVRIN_PACKAGES+=(dpkg-dev file)  # dpkg-shlibdeps finds the dependencies
tavrin_install_missing
tavrin_build build >&2
rm -rf build/package
(cd build && cpack -G DEB --config CPackConfig.cmake >&2)
ls build/package/tavrin_*.deb
