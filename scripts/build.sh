#!/usr/bin/env bash
# Builds the three trees: 64-bit Windows (program, tests, tools), 32-bit
# Windows (the program only, to keep it compiling and XP-clean) and native
# (pure-logic tests, fuzz targets, and the CTest registration of every tier).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64

cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=OFF >/dev/null
cmake --build build/win32

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTAMSEL_WIN64_DIR="$top/build/win64" -DTAMSEL_WIN32_DIR="$top/build/win32" >/dev/null
cmake --build build/native
