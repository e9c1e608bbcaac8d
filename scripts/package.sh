#!/usr/bin/env bash
# Builds the Debian package of the three programs from the test build (the `default` preset,
# build/), building only what the package holds: build/package/km71_<version>_<arch>.deb.
# Prints the path of the package as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target km71setup km71ctl km71sim km71_package_files
rm -f build/package/*.deb
(cd build && cpack --config CPackConfig.cmake >/dev/null)
deb=$(ls build/package/*.deb)
echo "$deb"
