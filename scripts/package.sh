#!/usr/bin/env bash
# Builds the Debian package from the default preset into build/default/
# and checks it: lintian, then the unpacked program (tests/package).
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target wrenlocator wren_install_docs
(cd build/default && cpack -G DEB >/dev/null)
deb=$(ls -t build/default/wrenlocator_*.deb | head -1)
echo "Built $deb ($(du -h "$deb" | cut -f1))"
# Errors fail the build; warnings are printed.
lintian --fail-on error,warning "$deb"
tests/package/check_package.sh "$deb"
