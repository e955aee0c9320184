#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds with warnings as
# errors and address+undefined sanitizers (and the libFuzzer targets where
# clang has them) and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Formatting first: a dry run that fails on any difference from .clang-format.
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "clang-format: every file is formatted"

BUILD=build-test
CXX_CHOICE=g++
command -v clang++ >/dev/null 2>&1 && CXX_CHOICE=clang++
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$CXX_CHOICE" \
      -DKPX_SANITIZE=ON -DKPX_FUZZ=ON -DKPX_WERROR=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)"
