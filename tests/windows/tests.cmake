# The tests of a Windows build, run under Wine by tests/windows/cross_build.sh.
# RURUREV_WINDOWS_LUA_DIR holds lua51.dll and lua.exe built for the target:
# - rururev_tests.exe: the GoogleTest cases that need neither the picture
#   module nor the program (nor POSIX: the thread lifetime tests load the
#   module with dlopen and fork), GoogleTest built here from its sources with this
#   toolchain. With RURUREV_TESTS_REQUIRE_DLL set, its Lua cases load
#   librururev.dll with require, as a Windows host does (the DLL and
#   lua51.dll are copied beside the program), so the expected words are
#   those of the native suite, not a copy.
# - rururev_frame.dll: a helper module that makes the benchmark's frame for
#   the scripts that compare this build with the native one through lua.exe.
set(RURUREV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${RURUREV_GTEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)
# The win32 thread model of the mingw-w64 compilers has no std::mutex: the
# tests run on one thread, and GoogleTest is built as for a Windows compiler
# other than mingw, which leaves out the death tests (none is used) that
# would need threads.
target_compile_definitions(gtest PUBLIC GTEST_IS_THREADSAFE=0)
target_compile_options(gtest PRIVATE -U__MINGW32__ -U__MINGW64__ -D_POSIX_THREAD_SAFE_FUNCTIONS)

add_library(rururev_lua51 SHARED IMPORTED)
set_target_properties(rururev_lua51 PROPERTIES
  IMPORTED_LOCATION ${RURUREV_WINDOWS_LUA_DIR}/lua51.dll
  IMPORTED_IMPLIB ${RURUREV_WINDOWS_LUA_DIR}/lua51.dll
  INTERFACE_INCLUDE_DIRECTORIES "${RURUREV_LUA_INCLUDES}")

file(GLOB RURUREV_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/windows/*_test.cpp)
list(FILTER RURUREV_TEST_SOURCES EXCLUDE REGEX
  "/(program|command_line|image_module|png_io|jpeg_io|preview|video|threads)_test\\.cpp$")
add_executable(rururev_tests ${RURUREV_TEST_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/lua_fixture.cpp ${CMAKE_CURRENT_SOURCE_DIR}/identity.cpp
  ${PROJECT_SOURCE_DIR}/src/module/module_state.cpp)
rururev_test_optimisation(${RURUREV_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/lua_fixture.cpp)
target_include_directories(rururev_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(rururev_tests PRIVATE
  RURUREV_FILTERS_LUA="${PROJECT_SOURCE_DIR}/src/cli/filters.lua")
target_link_libraries(rururev_tests PRIVATE
  rururev_kernels rururev_bindings rururev_lua51 gtest_main)
add_dependencies(rururev_tests librururev)
add_custom_command(TARGET rururev_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:librururev>
          ${RURUREV_WINDOWS_LUA_DIR}/lua51.dll $<TARGET_FILE_DIR:rururev_tests>)

add_library(rururev_frame MODULE ${CMAKE_CURRENT_SOURCE_DIR}/windows/frame_module.cpp
  ${PROJECT_SOURCE_DIR}/bench/frame.cpp)
target_include_directories(rururev_frame PRIVATE ${PROJECT_SOURCE_DIR}/bench)
target_compile_definitions(rururev_frame PRIVATE LUA_BUILD_AS_DLL)
target_link_libraries(rururev_frame PRIVATE rururev_lua51)
set_target_properties(rururev_frame PROPERTIES PREFIX "")
