#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tavrin_install_missing
tavrin_build
cd build
exec ctest --output-on-failure -j2 --timeout 300
