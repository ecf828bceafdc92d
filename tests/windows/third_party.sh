# Sourced by cross_build.sh: builds what a Windows build needs beside the
# project, from Debian's source packages, inside that build's directory:
# Highway (a static library, linked into the DLL) and Lua 5.1 (lua51.dll and
# lua.exe, to load the DLL in the tests). Nothing of theirs enters the
# repository. Each step is skipped when its result is already there.

# Fetches and unpacks Debian's source packages of Highway and Lua 5.1 into
# $1/highway and $1/lua5.1. The deb-src entry lives in a list of its own for
# this step only, with package lists of its own, so that the machine's apt
# setup is neither read nor changed.
fetch_sources() {
  src_dir=$1
  [ -f "$src_dir/lua5.1/src/lua.c" ] && [ -f "$src_dir/highway/CMakeLists.txt" ] && return 0
  apt_dir=$src_dir/apt
  rm -rf "$src_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$apt_dir/sources.list"
  set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts" \
         -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root
  apt-get -qq "$@" update
  (cd "$src_dir" && apt-get -qq "$@" source --download-only highway lua5.1 >/dev/null)
  # apt-get has checked the files against the archive's signed index.
  (cd "$src_dir" && dpkg-source --no-check -x highway_*.dsc highway >/dev/null &&
                dpkg-source --no-check -x lua5.1_*.dsc lua5.1 >/dev/null)
}

# Builds and installs the static Highway library with the toolchain file $2
# from the sources in $1 into $3 (lib/cmake/hwy holds its package file).
build_highway() {
  hwy_src=$1 toolchain=$2 prefix=$3
  [ -f "$prefix/lib/cmake/hwy/hwy-config.cmake" ] && return 0
  cmake -S "$hwy_src" -B "$prefix-build" --toolchain "$toolchain" --no-warn-unused-cli \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_CONTRIB=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$prefix-build" -j"$jobs" >/dev/null
  cmake --install "$prefix-build" >/dev/null
}

# Builds lua51.dll and lua.exe with the mingw-w64 tools of triplet $2 from
# the Lua sources in $1, in $3 (Lua's own mingw make target, without luac),
# libgcc linked in: the i686 one would otherwise need libgcc_s_dw2-1.dll.
build_lua() {
  lua_src=$1 triplet=$2 lua_out=$3
  [ -f "$lua_out/lua.exe" ] && [ -f "$lua_out/lua51.dll" ] && return 0
  rm -rf "$lua_out"
  cp -r "$lua_src/src" "$lua_out"
  make -s -j"$jobs" -C "$lua_out" CC="$triplet-gcc" "LUA_A=lua51.dll" "LUA_T=lua.exe" \
    "AR=$triplet-gcc -shared -static-libgcc -o" "RANLIB=$triplet-strip --strip-unneeded" \
    "MYCFLAGS=-DLUA_BUILD_AS_DLL -w" "MYLIBS=" "MYLDFLAGS=-s -static-libgcc" lua.exe >/dev/null
}
