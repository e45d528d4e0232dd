#!/usr/bin/env bash
# Builds the Debian package: tavrin_<version>_<arch>.deb in build-package/package/.
# Prints the package's path on its last line.
#
# Its own build folder, build-package/, holds only what the package installs
# (the programs, their man pages, the icons): no tests, no benchmarks. The
# programs get the distribution's hardening from dpkg-buildflags (fortify,
# stack protector, read-only relocations, immediate binding) and are position
# independent executables (the top CMakeLists.txt).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
# shellcheck source=setup.sh
source scripts/setup.sh
TAVRIN_PACKAGES+=(dpkg-dev file)  # dpkg-shlibdeps finds the dependencies
tavrin_install_missing

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cppflags=$(flags CPPFLAGS)
ldflags=$(flags LDFLAGS)
dir=build-package
# Configured afresh each time, so flags from an earlier run never linger; for
# /usr, the package's prefix (the desktop entry names its examples folder).
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY: cpack installs what was built below
# instead of building every target first.
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DTAVRIN_BUILD_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  "-DCMAKE_C_FLAGS=$(flags CFLAGS) $cppflags" "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $cppflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags" \
  "-DCMAKE_MODULE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$root/$dir" -j2 --target tavrin_package_contents >&2
rm -rf "$dir/package"
(cd "$dir" && cpack -G DEB --config CPackConfig.cmake >&2)
ls "$dir"/package/tavrin_*.deb
