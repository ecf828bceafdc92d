#!/bin/sh
# Builds the rock with luarocks make from a copy of the sources (luarocks
# builds inside the source directory) for Lua VERSION, installs it into a
# fresh tree without any network, and checks what the tree then holds: each
# interpreter requires the module and runs the README's script with both
# modules from the tree, the tree's rururev runs, and luarocks remove takes
# every file of ours away again.
# Usage: luarocks_test.sh LUAROCKS VERSION SOURCE_DIR REQUIRE_TEST.lua INTERPRETER...
set -eu
luarocks=$1 version=$2 source=$3 script=$4
shift 4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/src"
(cd "$source" && tar -cf - --exclude='./build*' --exclude=./.git .) | tar -xf - -C "$tmp/src"
rocks() { "$luarocks" --lua-version="$version" --tree "$tmp/tree" --only-server="$tmp/no-server" "$@"; }
# The rock is built with the build's generator (./dev's Ninja) and paths
# under the copy count as relative to it, so that a compiler cache (CI's)
# finds the units the build it was copied from has compiled.
if [ -n "${CMAKE_GENERATOR:-}" ]; then
  echo "cmake_generator = \"$CMAKE_GENERATOR\"" >"$tmp/luarocks-config.lua"
  export LUAROCKS_CONFIG="$tmp/luarocks-config.lua"
fi
(cd "$tmp/src" && CCACHE_BASEDIR="$tmp/src" CMAKE_BUILD_PARALLEL_LEVEL=2 rocks make >"$tmp/log" 2>&1) || { cat "$tmp/log"; exit 1; }
cmod=$tmp/tree/lib/lua/$version
for file in "$cmod/librururev.so" "$cmod/rururev_image.so" "$tmp/tree/bin/rururev"; do
  [ -f "$file" ] || { echo "the rock installed no $file; it installed:"; find "$tmp/tree" -type f; exit 1; }
done
awk '/^## A script/ {s = 1} s && /^```lua/ {p = 1; next} p && /^```/ {exit} p' "$source/README.md" >"$tmp/warm.lua"
echo 'require("rururev_image").new(3, 2, 0xFF406080):save(arg[1])' >"$tmp/picture.lua"
for lua in "$@"; do
  LUA_CPATH="$cmod/?.so" "$lua" "$script"
  LUA_CPATH="$cmod/?.so" "$lua" "$tmp/picture.lua" "$tmp/in.png"
  rm -f "$tmp/out.png"
  (cd "$tmp" && LUA_CPATH="$cmod/?.so" "$lua" warm.lua in.png out.png)
  [ -f "$tmp/out.png" ] || { echo "the README's script wrote no out.png in $lua"; exit 1; }
done
env -u RURUREV_MODULE_DIR LUA_CPATH= "$tmp/tree/bin/rururev" --version
env -u RURUREV_MODULE_DIR LUA_CPATH= "$tmp/tree/bin/rururev" apply "$tmp/in.png" "$tmp/o.png" tovoRGB 1 2 3 0
rocks remove librururev >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
left=$(find "$tmp/tree" -type f \( -name '*rururev*' -o -path '*/bin/*' \))
[ -z "$left" ] || { echo "luarocks remove left: $left"; exit 1; }
