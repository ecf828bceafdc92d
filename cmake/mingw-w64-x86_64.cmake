# Cross-compiles the Windows DLL for 64-bit x86 with mingw-w64:
#   cmake -S . -B build-win64 --toolchain cmake/mingw-w64-x86_64.cmake
set(RURUREV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
