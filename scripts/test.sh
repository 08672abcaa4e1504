#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (no display needed).
#   scripts/test.sh          the suite, then the suite again built with AddressSanitizer and
#                            UndefinedBehaviorSanitizer (build-sanitize/), then the fuzz target built with
#                            clang (build-fuzz/) and run over its seed corpus
#   scripts/test.sh --quick  the suite only
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
quick=0
if [ "${1:-}" = "--quick" ]; then
    quick=1
fi
"$root/scripts/setup.sh" test
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root/build" --output-on-failure --timeout 600

if [ "$quick" -eq 0 ]; then
    echo "The suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer:"
    cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_WERROR=ON -DTARNWICK_SANITIZE=ON >/dev/null
    cmake --build "$root/build-sanitize" --parallel "$(nproc)"
    ctest --test-dir "$root/build-sanitize" --output-on-failure --timeout 900

    if command -v clang++-14 >/dev/null; then
        echo "The fuzz target, built with clang, over its seed corpus:"
        CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$root/build-fuzz" -G Ninja \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON -DTARNWICK_WERROR=ON >/dev/null
        cmake --build "$root/build-fuzz" --parallel "$(nproc)" --target fuzz_listpage
        "$root/build-fuzz/fuzz/fuzz_listpage" -runs=0 "$root/fuzz/corpus"
    fi
fi
