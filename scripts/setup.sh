#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds into build/.
#   scripts/setup.sh run    what the window, the headless search and the stand-in site need
#   scripts/setup.sh test   that, plus the test suites, benchmarks and tools, with warnings as errors
# Run by run.sh and test.sh; safe to run again: it installs only what is missing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode="${1:-run}"
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libcpp-httplib-dev
          libcurl4-openssl-dev zlib1g-dev curl fonts-dejavu-core)
options=(-DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_TOOLS=OFF -DTARNWICK_WERROR=OFF)
case "$mode" in
    run) ;;
    test)
        packages+=(python3 binutils-mingw-w64-i686 g++-mingw-w64-i686 clang-14 libclang-rt-14-dev)
        options=(-DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_TOOLS=ON -DTARNWICK_WERROR=ON)
        ;;
    *)
        echo "usage: scripts/setup.sh [run|test]" >&2
        exit 2
        ;;
esac

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

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build "$root/build" --parallel "$(nproc)"
