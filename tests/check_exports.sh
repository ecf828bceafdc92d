#!/bin/sh
# Fails unless the shared object's only defined dynamic symbol is the entry
# point (luaopen_librururev unless named), and it needs no Lua library of
# its own (the host provides Lua).
set -eu
lib=$1
entry=${2:-luaopen_librururev}
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$symbols" != "$entry" ]; then
  echo "unexpected exports in $lib:"; echo "$symbols"; exit 1
fi
if objdump -p "$lib" | grep NEEDED | grep -i lua; then
  echo "$lib must not be linked to a Lua library"; exit 1
fi
echo "exports: $symbols"
