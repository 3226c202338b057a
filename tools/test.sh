#!/usr/bin/env bash
# Installs what the build needs when it is missing, builds Orvel and runs
# every test twice: in the normal build and in the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer, built with clang).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-missing.sh cmake:cmake ninja:ninja-build g++:g++ clang++:clang \
  /usr/include/gtest/gtest.h:googletest,libgtest-dev /usr/include/openssl/sha.h:libssl-dev /usr/sbin/lighttpd:lighttpd msmtp:msmtp

jobs=$(nproc 2>/dev/null || echo 2)

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVEL_SANITIZE=ON -DORVEL_BENCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
ninja -C build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
