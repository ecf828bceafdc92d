# The part both mingw-w64 toolchains share; RURUREV_MINGW_TRIPLET names the
# tools. Libraries and headers come from the target's sysroot only, except
# the Lua 5.1 headers, which are plain C and fit every target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${RURUREV_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${RURUREV_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${RURUREV_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${RURUREV_MINGW_TRIPLET}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${RURUREV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(RURUREV_LUA_INCLUDE_DIR /usr/include/lua5.1 CACHE PATH "Directory of the Lua 5.1 headers")
