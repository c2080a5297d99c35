#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the test build (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) in build-test/ and runs every test with ctest;
# then builds the sound engine and its tests with clang's RealtimeSanitizer in build-rtsan/ and
# runs the tests labelled "realtime" there.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSORVANTO_STRICT=ON -DSORVANTO_SANITIZE=ON -DSORVANTO_TESTS=ON -DSORVANTO_BENCH=ON
cmake --build build-test --parallel
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(
    cd build-test
    # Serial on purpose: the sound tests record the one null sink that every test plays into.
    ctest --output-on-failure "$@"
)
cmake -S . -B build-rtsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANTO_RTSAN=ON \
    -DCMAKE_CXX_COMPILER=clang++-22
cmake --build build-rtsan --parallel
cd build-rtsan
ctest --output-on-failure -L realtime
