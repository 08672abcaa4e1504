#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (no display needed). Each build is a preset of
# CMakePresets.json, in a folder of its own.
#   scripts/test.sh          the suite (dev, build/); the suite again with AddressSanitizer,
#                            UndefinedBehaviorSanitizer and assertions live (sanitize, build-sanitize/);
#                            the cutter's and the writer's suites and the fuzz seeds on the scalar
#                            paths (scalar, build-scalar/); the fuzz targets, built with clang, over
#                            their seed inputs (fuzz, build-fuzz/)
#   scripts/test.sh --quick  the suite only
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
quick=0
if [ "${1:-}" = "--quick" ]; then
    quick=1
fi
"$root/scripts/setup.sh" test
cd "$root"
export QT_QPA_PLATFORM=offscreen
ctest --preset dev

if [ "$quick" -eq 0 ]; then
    echo "The suite again, with AddressSanitizer, UndefinedBehaviorSanitizer and assertions live:"
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize --parallel "$(nproc)"
    ctest --preset sanitize

    echo "The cutter's and the writer's suites and the fuzz seeds on the scalar paths:"
    cmake --preset scalar >/dev/null
    cmake --build --preset scalar --parallel "$(nproc)" --target tst_parselistpage replay_fuzz_listpage \
        tarnwick-search tarnwick-listsite
    ctest --preset scalar

    if command -v clang++-14 >/dev/null; then
        echo "The fuzz targets, built with clang, over their seed inputs:"
        cmake --preset fuzz >/dev/null
        cmake --build --preset fuzz --parallel "$(nproc)" --target fuzz_listpage fuzz_strip fuzz_pagebody
        for name in listpage strip pagebody; do
            "$root/build-fuzz/fuzz/fuzz_$name" -runs=0 "$root/fuzz/corpus/$name"
        done
    fi
fi
