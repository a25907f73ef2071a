#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that includes run one way between the folders, installs what is
# missing, builds and runs every test: once in a release build, whose Debian
# package is then made and checked, once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short run of each fuzzing harness.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
echo "== layers =="
python3 scripts/check_layers.py
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== release build =="
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build/release --output-on-failure --parallel "$jobs"

echo "== Debian package =="
scripts/check_package.sh build/release

echo "== sanitizer build =="
scripts/build.sh build/sanitize -DCMAKE_BUILD_TYPE=Debug -DDOROZIRI_SANITIZE=ON -DDOROZIRI_BUILD_BENCH=OFF
LSAN_OPTIONS=suppressions="$PWD/scripts/lsan.supp" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure --parallel "$jobs"
echo "== fuzzing smoke (about a minute) =="
scripts/fuzz.sh 60

echo "== all tests passed =="
