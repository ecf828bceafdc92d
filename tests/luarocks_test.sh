#!/bin/sh
# Builds the rock with luarocks make from a copy of the sources (luarocks
# builds inside the source directory) for Lua VERSION, installs it into a
# fresh tree without any network, and requires the module from that tree in
# each interpreter.
# Usage: luarocks_test.sh LUAROCKS VERSION SOURCE_DIR REQUIRE_TEST.lua INTERPRETER...
set -eu
luarocks=$1 version=$2 source=$3 script=$4
shift 4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/src"
(cd "$source" && tar -cf - --exclude='./build*' --exclude=./.git .) | tar -xf - -C "$tmp/src"
(cd "$tmp/src" &&
  CMAKE_BUILD_PARALLEL_LEVEL=2 "$luarocks" --lua-version="$version" --tree "$tmp/tree" \
    --only-server="$tmp/no-server" make \
    >"$tmp/log" 2>&1) || { cat "$tmp/log"; exit 1; }
module=$tmp/tree/lib/lua/$version/librururev.so
[ -f "$module" ] || { echo "the rock installed no $module"; cat "$tmp/log"; exit 1; }
for lua in "$@"; do
  LUA_CPATH="$tmp/tree/lib/lua/$version/?.so" "$lua" "$script"
done
