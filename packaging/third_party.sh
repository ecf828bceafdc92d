# Sourced by tests/windows/cross_build.sh and packaging/playground/build.sh:
# builds what a Windows or WebAssembly build needs beside the project, from
# Debian's source packages, inside that build's directory: Highway (a static
# library linked into the DLL; its headers alone for the engine) and Lua 5.1
# (lua51.dll and lua.exe, to load the DLL in the tests; a static library for
# the engine), and for the engine zlib, libpng and libjpeg-turbo. Nothing of
# theirs enters the repository. Each step is skipped when its result is
# already there.

# The source packages of the Windows build.
windows_sources="highway lua5.1"

# Fetches and unpacks Debian's source packages named after $1 into $1/NAME
# (the Windows build: highway and lua5.1; the WebAssembly build: lua5.1,
# zlib, libpng1.6 and libjpeg-turbo). The deb-src entry lives in a list
# of its own for this step only, with package lists of its own, so that the
# machine's apt setup is neither read nor changed.
fetch_sources() {
  src_dir=$1
  shift
  packages=$*
  missing=
  for package in $packages; do
    [ -f "$src_dir/$package/debian/control" ] || missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  apt_dir=$src_dir/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$apt_dir/sources.list"
  set -- -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts" \
         -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root
  apt-get -qq "$@" update
  for package in $missing; do
    rm -rf "$src_dir/$package" "$src_dir/$package.download"
    mkdir -p "$src_dir/$package.download"
    (cd "$src_dir/$package.download" && apt-get -qq "$@" source --download-only "$package" >/dev/null)
    # apt-get has checked the files against the archive's signed index.
    (cd "$src_dir/$package.download" && dpkg-source --no-check -x ./*.dsc "../$package" >/dev/null)
    rm -rf "$src_dir/$package.download" "$src_dir/$package"_*
  done
}

# Unpacks the orig tarball of Debian's source package of Highway 1.2.0
# (Debian 13's) into $1/highway-1.2.0, for the WebAssembly build alone: from
# version 1.1 on Highway's WebAssembly target has vectors of doubles, which
# most fast paths compute in. Its headers are all that build uses (static
# dispatch); the native and Windows builds keep Debian 12's Highway. The
# tarball is checked against the SHA256 that the package's .dsc lists. Its
# files are given the time of unpacking, so that a build that compiled
# against other headers at the same path compiles again.
fetch_highway_wasm() {
  src_dir=$1
  hwy_dir=$src_dir/highway-1.2.0
  [ -f "$hwy_dir/hwy/highway.h" ] && return 0
  tarball=$src_dir/highway_1.2.0.orig.tar.gz
  curl -fsS -o "$tarball" http://deb.debian.org/debian/pool/main/h/highway/highway_1.2.0.orig.tar.gz
  echo "7e0be78b8318e8bdbf6fa545d2ecb4c90f947df03f7aadc42c1967f019e63343  $tarball" | sha256sum -c --quiet -
  rm -rf "$hwy_dir"
  tar -xzmf "$tarball" -C "$src_dir"
  rm -f "$tarball"
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

# Builds and installs the static library of a CMake project from the sources
# in $1 with the toolchain file $2 into $3, with the options that follow.
build_cmake_library() {
  lib_src=$1 toolchain=$2 prefix=$3
  shift 3
  [ -f "$prefix/.installed" ] && return 0
  cmake -S "$lib_src" -B "$prefix-build" --toolchain "$toolchain" --no-warn-unused-cli \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
  cmake --build "$prefix-build" -j"$jobs" >/dev/null
  cmake --install "$prefix-build" >/dev/null
  touch "$prefix/.installed"
}

# Compiles the C units named after $2 of the folder $1 with emcc into the
# static library $1/$2 ($jobs at a time).
emcc_archive() {
  unit_dir=$1 archive=$2
  shift 2
  (cd "$unit_dir" && printf '%s\n' "$@" | xargs -P"$jobs" -I{} emcc -O2 -w -c {} &&
   emar rcs "$archive" $(printf '%s\n' "$@" | sed 's/\.c$/.o/'))
}

# The picture libraries for WebAssembly, static, into $3/zlib, $3/libpng and
# $3/libjpeg, from the sources in $1 with the toolchain file $2: no SIMD of
# their own (libjpeg-turbo's is assembly for other processors), no programs.
# zlib's units are compiled directly (Debian's source lacks files its CMake
# build names); CMake's size checks misread WebAssembly objects, so the
# sizes are given.
build_picture_libraries() {
  srcs=$1 toolchain=$2 deps=$3
  if [ ! -f "$deps/zlib/lib/libz.a" ]; then
    rm -rf "$deps/zlib"
    mkdir -p "$deps/zlib/include" "$deps/zlib/lib"
    cp -r "$srcs/zlib" "$deps/zlib/build"
    cp "$deps/zlib/build/zconf.h.in" "$deps/zlib/build/zconf.h"
    emcc_archive "$deps/zlib/build" libz.a adler32.c compress.c crc32.c deflate.c gzclose.c \
      gzlib.c gzread.c gzwrite.c infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
    cp "$deps/zlib/build/zlib.h" "$deps/zlib/build/zconf.h" "$deps/zlib/include/"
    mv "$deps/zlib/build/libz.a" "$deps/zlib/lib/"
  fi
  build_cmake_library "$srcs/libpng1.6" "$toolchain" "$deps/libpng" \
    -DPNG_SHARED=OFF -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
    -Dld-version-script=OFF -DZLIB_INCLUDE_DIR="$deps/zlib/include" \
    -DZLIB_LIBRARY="$deps/zlib/lib/libz.a"
  build_cmake_library "$srcs/libjpeg-turbo" "$toolchain" "$deps/libjpeg" \
    -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4
}

# Builds the static Lua 5.1 library liblua.a with emcc from the Lua sources
# in $1, in $2: the library's units alone (Debian's makefile builds through
# libtool), with the header Debian's luaconf.h includes for its module paths.
build_lua_wasm() {
  lua_src=$1 lua_out=$2
  [ -f "$lua_out/liblua.a" ] && return 0
  rm -rf "$lua_out"
  mkdir -p "$(dirname "$lua_out")"
  cp -r "$lua_src/src" "$lua_out"
  echo '#define DEB_HOST_MULTIARCH "wasm32-emscripten"' >"$lua_out/lua5.1-deb-multiarch.h"
  cp "$lua_src/etc/lua.hpp" "$lua_out/"
  (cd "$lua_out" && emcc_archive . liblua.a $(ls ./*.c | grep -v -e '/lua\.c' -e '/luac\.c' -e '/print\.c'))
}
