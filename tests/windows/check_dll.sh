#!/bin/sh
# Checks a cross-built librururev.dll with objdump -p: it is a DLL of the
# given format, exports luaopen_librururev and nothing else, and imports
# from lua51.dll (Lua API functions of the .def list only) and from system
# DLLs, nothing else: no C++ runtime, libgcc or thread DLL beside it.
# Usage: check_dll.sh DLL FORMAT DEF   (FORMAT: pei-i386 or pei-x86-64)
set -eu
dll=$1 format=$2 def=$3
dump=$(objdump -p "$dll")
fail() { echo "$dll: $*" >&2; exit 1; }

echo "$dump" | grep -q "file format $format\$" || fail "not of format $format"

exports=$(echo "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
                              on && NF == 0 { on = 0 }
                              on { print $NF }')
[ "$exports" = luaopen_librururev ] || fail "exports: $exports"

# One "DLL function" line per import.
imports=$(echo "$dump" | awk '/DLL Name:/ { dll = tolower($3); next }
                              /^[[:space:]]*[0-9a-f]+[[:space:]]+[0-9]+ +[A-Za-z_]/ && dll { print dll, $3 }')
[ -n "$imports" ] || fail "no imports found"

dlls=$(echo "$imports" | awk '{ print $1 }' | sort -u)
echo "$dlls" | grep -qx lua51.dll || fail "does not import lua51.dll"
for d in $dlls; do
  case $d in
    lua51.dll | kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
    *) fail "imports $d, which Windows does not provide" ;;
  esac
done

allowed=$(sed -n 's/^ *\(luaL\{0,1\}_[A-Za-z_]*\) *$/\1/p' "$def")
for f in $(echo "$imports" | awk '$1 == "lua51.dll" { print $2 }'); do
  echo "$allowed" | grep -qx "$f" || fail "imports $f from lua51.dll, not a listed Lua API function"
done

echo "$dll: $format, exports luaopen_librururev, imports from" $dlls
