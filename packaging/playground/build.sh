#!/bin/sh
# Builds the playground with Debian's emscripten: the module, the picture
# module and Lua 5.1 compiled to WebAssembly. The fast paths build on
# Highway's WASM target (static dispatch, 128-bit SIMD) from the headers of
# Debian 13's Highway 1.2.0, whose WASM target has vectors of doubles, in
# which most fast paths compute (Debian 12's 1.0.3, which the native and
# Windows builds use, has none there). Every filter but tovoAlp0 runs its
# SIMD path, 1.3 to 58 times its plain kernel's speed under Node; on one
# thread, 0.46 to 1.18 times the native module's with SSE4's vectors of the
# same width, 0.11 to 0.72 times with AVX-512's (docs/performance.md).
# Highway's orig tarball, Lua 5.1, zlib, libpng and libjpeg-turbo come from
# Debian's source packages into the build directory
# (packaging/third_party.sh); the build goes to WASM_BUILD_DIR (default
# build-wasm), its tests (label wasm) run under Node, and the engine is left
# in dist/playground/rururev-engine.js, the page with the engine inside it
# in dist/playground/index.html.
set -eu
cd "$(dirname "$0")/../.."
top=$PWD
build=${WASM_BUILD_DIR:-build-wasm}
jobs=${JOBS:-2}
# emcc's optimizer needs Debian's acorn, which Debian's node would find.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
. packaging/third_party.sh

toolchain=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake
srcs=$top/$build/src deps=$top/$build/deps
mkdir -p "$build"
fetch_sources "$srcs" lua5.1 zlib libpng1.6 libjpeg-turbo
fetch_highway_wasm "$srcs"
build_lua_wasm "$srcs/lua5.1" "$deps/lua"
build_picture_libraries "$srcs" "$toolchain" "$deps"
# Highway's headers in a folder of their own: the rest of /usr/include would
# shadow emcc's C library headers.
mkdir -p "$deps/highway/include"
ln -sfn "$srcs/highway-1.2.0/hwy" "$deps/highway/include/hwy"

cmake -S . -B "$build" --toolchain "$toolchain" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
  -DRURUREV_BENCH=OFF -DRURUREV_HWY_INCLUDE_DIR="$deps/highway/include" \
  -DRURUREV_LUA_INCLUDE_DIR="$deps/lua" -DRURUREV_WASM_LUA_LIBRARY="$deps/lua/liblua.a" \
  -DZLIB_INCLUDE_DIR="$deps/zlib/include" -DZLIB_LIBRARY="$deps/zlib/lib/libz.a" \
  -DPNG_PNG_INCLUDE_DIR="$deps/libpng/include" -DPNG_LIBRARY="$deps/libpng/lib/libpng16.a" \
  -DJPEG_INCLUDE_DIR="$deps/libjpeg/include" -DJPEG_LIBRARY="$deps/libjpeg/lib/libjpeg.a" >/dev/null
cmake --build "$build" -j"$jobs"
mkdir -p dist/playground
cp "$build/rururev-engine.js" dist/playground/
cp "$build/playground.html" dist/playground/index.html
ctest --test-dir "$build" --output-on-failure -j"$jobs" -L wasm
