#!/bin/sh
# The Windows DLL links its Lua calls through the list in lua51.def. Fails
# when the module built here calls a Lua function missing from that list
# (the Windows link would break), or when the list names something that the
# Lua 5.1 headers do not declare.
# Usage: check_lua_imports.sh MODULE.so lua51.def LUA_INCLUDE_DIR
set -eu
lib=$1 def=$2 incdir=$3
listed=$(sed -n 's/^ *\(luaL\{0,1\}_[A-Za-z_]*\) *$/\1/p' "$def")
status=0
for f in $(nm -u "$lib" | awk '$2 ~ /^luaL?_/ { print $2 }'); do
  echo "$listed" | grep -qx "$f" || { echo "$f is called but missing from $def"; status=1; }
done
for f in $listed; do
  grep -qF "($f) (" "$incdir/lua.h" "$incdir/lauxlib.h" ||
    { echo "$f in $def is not a Lua 5.1 API function"; status=1; }
done
[ $status -eq 0 ] && echo "$(echo "$listed" | wc -l) Lua API functions listed, all calls covered"
exit $status
