# Cross-compiles the Windows DLL for 32-bit x86 with mingw-w64:
#   cmake -S . -B build-win32 --toolchain cmake/mingw-w64-i686.cmake
set(RURUREV_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
