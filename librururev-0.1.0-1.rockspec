-- Builds both modules and the rururev program with the project's own CMake
-- files and installs them where the rock's C modules and programs go:
--   luarocks make   (from the source directory, which
-- it builds as it is; source.url is only read when building from the
-- rockspec alone).
package = "librururev"
version = "0.1.0-1"
source = {
   url = "git+file:///librururev",
}
description = {
   summary = "Bit-exact image filters that rewrite a host's pixel buffer in place",
   license = "MIT",
   detailed = [[
      A native Lua module: require "librururev" gives a table of filter
      functions. Each takes a pixel buffer of 32-bit words (a light userdata
      owned by the host), its width and height and a few numbers, rewrites
      the buffer in one pass and returns it. Built for the Lua that LuaRocks
      uses: 5.1 (which also serves LuaJIT), 5.2, 5.3 or 5.4.
   ]],
}
dependencies = {
   "lua >= 5.1, < 5.5",
}
build = {
   type = "cmake",
   variables = {
      CMAKE_BUILD_TYPE = "Release",
      CMAKE_INSTALL_PREFIX = "$(PREFIX)",
      RURUREV_INSTALL_CMODDIR = "$(LIBDIR)",
      RURUREV_LUA_INCLUDE_DIR = "$(LUA_INCDIR)",
      RURUREV_TESTS = "OFF",
      RURUREV_BENCH = "OFF",
      RURUREV_PROGRAM = "ON",
      RURUREV_ROCK = "ON",
   },
}
