#!/bin/sh
# Builds the playground with Debian's emscripten: the module, the picture
# module and Lua 5.1 compiled to WebAssembly. Every filter runs its plain
# kernel there: Highway 1.0.3's WASM target has no vectors of doubles, which
# the fast paths use, and its portable target ran them 2 to 40 times slower
# than the plain kernels under Node. Lua 5.1, zlib, libpng and
# libjpeg-turbo are built from Debian's source packages in the build directory
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
fetch_sources "$srcs" zlib libpng1.6 libjpeg-turbo
build_lua_wasm "$srcs/lua5.1" "$deps/lua"
build_picture_libraries "$srcs" "$toolchain" "$deps"

cmake -S . -B "$build" --toolchain "$toolchain" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
  -DRURUREV_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_hwy=ON \
  -DRURUREV_LUA_INCLUDE_DIR="$deps/lua" -DRURUREV_WASM_LUA_LIBRARY="$deps/lua/liblua.a" \
  -DZLIB_INCLUDE_DIR="$deps/zlib/include" -DZLIB_LIBRARY="$deps/zlib/lib/libz.a" \
  -DPNG_PNG_INCLUDE_DIR="$deps/libpng/include" -DPNG_LIBRARY="$deps/libpng/lib/libpng16.a" \
  -DJPEG_INCLUDE_DIR="$deps/libjpeg/include" -DJPEG_LIBRARY="$deps/libjpeg/lib/libjpeg.a" >/dev/null
cmake --build "$build" -j"$jobs"
mkdir -p dist/playground
cp "$build/rururev-engine.js" dist/playground/
cp "$build/playground.html" dist/playground/index.html
ctest --test-dir "$build" --output-on-failure -j"$jobs" -L wasm
