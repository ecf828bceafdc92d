#!/bin/sh
# Installs the build with cmake --install into a fresh temporary directory
# and requires the module from there in each interpreter given, with
# LUA_CPATH naming the installed C-module directory and nothing else.
# Usage: install_test.sh CMAKE BUILD_DIR CMODDIR REQUIRE_TEST.lua INTERPRETER...
# CMODDIR is the configured module directory, relative to the prefix or
# absolute; an absolute one is installed under DESTDIR, never in place.
set -eu
cmake=$1 build=$2 cmoddir=$3 script=$4
shift 4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
case $cmoddir in
  /*) DESTDIR=$tmp "$cmake" --install "$build" >/dev/null; dir=$tmp$cmoddir ;;
  *) "$cmake" --install "$build" --prefix "$tmp" >/dev/null; dir=$tmp/$cmoddir ;;
esac
if [ ! -f "$dir/librururev.so" ]; then
  echo "librururev.so is not in $dir; installed:"; find "$tmp" -type f; exit 1
fi
for lua in "$@"; do
  LUA_CPATH="$dir/?.so" "$lua" "$script"
done

# The installed program finds the installed module without being told where.
if [ -x "$tmp/bin/rururev" ]; then
  printf '%s\n' 'local m = require "librururev"' \
    'local pic = require("rururev_image").new(2, 1, 0xFF102030)' \
    'pic:apply(m.tovoRGB, 1, 1, 1, 0)' \
    'assert(pic:get(1, 0) == 0xFF112131, "tovoRGB through the installed program")' \
    > "$tmp/installed.lua"
  env -u RURUREV_MODULE_DIR LUA_CPATH= "$tmp/bin/rururev" run "$tmp/installed.lua"
  [ -f "$dir/rururev_image.so" ] || { echo "rururev_image.so is not in $dir"; exit 1; }
fi
