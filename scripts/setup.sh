#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds with a preset of
# CMakePresets.json.
#   scripts/setup.sh run    what the window, the headless search and the stand-in site need (preset
#                           release, in build-release/)
#   scripts/setup.sh test   that, plus the test suites, benchmarks and tools, with warnings as errors (preset
#                           dev, in build/), and the packages the test command's other builds need
# Run by run.sh and test.sh; safe to run again: it installs only what is missing, and the two build into
# folders of their own, so neither undoes the other's build.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode="${1:-run}"
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libcpp-httplib-dev
          libcurl4-openssl-dev zlib1g-dev curl fonts-dejavu-core)
preset=release
case "$mode" in
    run) ;;
    test)
        packages+=(python3 binutils-mingw-w64-i686 g++-mingw-w64-i686 clang-14 libclang-rt-14-dev
                   clang-format clang-tidy dpkg-dev)
        preset=dev
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

cd "$root"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --parallel "$(nproc)"
