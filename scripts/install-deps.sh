#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that building and testing Quenlor need. Packages already
# present are not touched; apt runs only when something is missing. Uses sudo only when not root.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev libgl-dev
    unixodbc unixodbc-dev tdsodbc libsqliteodbc libsqlite3-dev
    fonts-wqy-microhei
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
