#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# Installs the build into a scratch prefix, then builds and runs one application with pkg-config
# and one with find_package(corvid2), both against the installed files only.
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$BUILD_DIR" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name corvid2_genicam.pc | head -n1)")/..
export PKG_CONFIG_PATH="$libdir/pkgconfig"

# shellcheck disable=SC2086
"$CXX" -std=c++17 $SANITIZE_FLAGS "$SOURCE_DIR/examples/version_check.cpp" -o "$prefix/app_pkgconfig" \
  $(pkg-config --cflags --libs corvid2_genicam)
"$prefix/app_pkgconfig" | grep -q '^corvid2 '

mkdir -p "$prefix/cmake_app"
cat > "$prefix/cmake_app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(app CXX)
find_package(corvid2 REQUIRED)
add_executable(app_cmake "$SOURCE_DIR/examples/version_check.cpp")
target_link_libraries(app_cmake PRIVATE corvid2::corvid2_genicam)
CMAKE
cmake -S "$prefix/cmake_app" -B "$prefix/cmake_app/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$SANITIZE_FLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$SANITIZE_FLAGS" -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$prefix/cmake_app/build" >/dev/null
"$prefix/cmake_app/build/app_cmake" | grep -q '^corvid2 '
echo "installed package usable through pkg-config and find_package"
