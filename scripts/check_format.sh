#!/usr/bin/env bash
# Fails when clang-format (with the project's .clang-format) would change a C++ source file that git tracks.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "Formatting: every C++ source file as clang-format writes it."
