#!/usr/bin/env bash
# Installs what building and testing need (Debian packages), then configures and builds into build/.
# Sourced by run.sh and test.sh; safe to run again: it installs only what is missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libcpp-httplib-dev libcurl4-openssl-dev zlib1g-dev curl python3
          binutils-mingw-w64-i686 g++-mingw-w64-i686 fonts-dejavu-core xvfb xauth)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --parallel "$(nproc)"
