#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Qt's SQLite and PostgreSQL drivers serve the fleet register; the tests start a scratch
# PostgreSQL server (postgresql) and alter register files with the sqlite3 tool.
# The last line is for the Debian package: dpkg-shlibdeps (dpkg-dev) and file compute its
# dependencies, lintian and desktop-file-validate check it.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-multimedia-dev qt6-charts-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-noto-cjk poppler-utils xvfb
    libqt6sql6-sqlite libqt6sql6-psql postgresql sqlite3
    dpkg-dev file lintian desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
