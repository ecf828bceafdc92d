# The built modules in the stock interpreters of the Lua they are built for
# (lua5.1 and luajit, or lua5.2, lua5.3 or lua5.4): require, the picture
# module, every filter's words, cmake --install, luarocks and the exports.
# Included by tests/CMakeLists.txt.
if(RURUREV_LUA STREQUAL "5.1")
  set(RURUREV_INTERPRETER_NAMES lua5.1 luajit)
else()
  set(RURUREV_INTERPRETER_NAMES lua${RURUREV_LUA})
endif()

# In the sanitizer build, whatever runs a stock interpreter on the built
# modules preloads the sanitizer runtime, and passes it on to the
# interpreters it starts.
set(RURUREV_PRELOAD_ENV "")
if(RURUREV_SANITIZER_PRELOAD)
  set(RURUREV_PRELOAD_ENV "LD_PRELOAD=${RURUREV_SANITIZER_PRELOAD}")
endif()

# Outside CI a test whose tool is missing is skipped, with a warning that
# says so; in CI (CI=true) every tool must be there, so a missing one stops
# the configuration instead of passing the run without its tests.
function(rururev_missing_tool what)
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "${what} not found, and CI runs every test")
  endif()
  message(WARNING "${what} not found: its tests are skipped")
endfunction()

if(NOT TARGET rururev_image)
  message(WARNING "no picture module (RURUREV_TOOLS=OFF): the picture module and words tests are skipped")
endif()
set(RURUREV_INTERPRETERS)
foreach(interp ${RURUREV_INTERPRETER_NAMES})
  find_program(RURUREV_${interp}_EXE ${interp})
  if(NOT RURUREV_${interp}_EXE)
    rururev_missing_tool(${interp})
    continue()
  endif()
  set(exe ${RURUREV_${interp}_EXE})
  list(APPEND RURUREV_INTERPRETERS ${exe})
  add_test(NAME require_in_${interp}
    COMMAND ${exe} ${CMAKE_CURRENT_SOURCE_DIR}/lua/require_test.lua $<TARGET_FILE_DIR:librururev>)
  set_tests_properties(require_in_${interp} PROPERTIES ENVIRONMENT "${RURUREV_PRELOAD_ENV}")
  if(TARGET rururev_image)
    add_test(NAME image_module_in_${interp}
      COMMAND ${exe} ${CMAKE_CURRENT_SOURCE_DIR}/lua/image_test.lua $<TARGET_FILE_DIR:rururev_image>)
    add_test(NAME filter_words_in_${interp}
      COMMAND ${exe} ${CMAKE_CURRENT_SOURCE_DIR}/lua/filter_words.lua $<TARGET_FILE_DIR:rururev_image>
              ${PROJECT_SOURCE_DIR}/src/cli/filters.lua)
    set_tests_properties(image_module_in_${interp} filter_words_in_${interp}
      PROPERTIES ENVIRONMENT "${RURUREV_PRELOAD_ENV}")
  endif()
endforeach()

# cmake --install puts the module where LUA_CPATH can find it.
add_test(NAME install_and_require
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
          ${RURUREV_INSTALL_CMODDIR} ${CMAKE_CURRENT_SOURCE_DIR}/lua/require_test.lua
          ${RURUREV_INTERPRETERS})
if(RURUREV_SANITIZER_PRELOAD)
  # The installed module is the instrumented one; cmake --install and the
  # shell run with the runtime preloaded too, and their leaks are not ours.
  set_tests_properties(install_and_require PROPERTIES
    ENVIRONMENT "LD_PRELOAD=${RURUREV_SANITIZER_PRELOAD};ASAN_OPTIONS=detect_leaks=0")
endif()

# luarocks builds the rock for this Lua, installs it and removes it.
find_program(RURUREV_LUAROCKS_EXE luarocks)
if(RURUREV_LUAROCKS_EXE)
  add_test(NAME luarocks_make_and_require
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/luarocks_test.sh ${RURUREV_LUAROCKS_EXE} ${RURUREV_LUA}
            ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/lua/require_test.lua
            ${RURUREV_INTERPRETERS})
  # A whole build of its own: ./dev luas and CI run it, not the everyday ./dev test.
  set_tests_properties(luarocks_make_and_require PROPERTIES LABELS rock TIMEOUT 600)
else()
  rururev_missing_tool(luarocks)
endif()

# Each module exports its entry point and nothing else.
add_test(NAME exports_only_entry_point
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.sh $<TARGET_FILE:librururev>)
if(TARGET rururev_image)
  add_test(NAME image_module_exports_only_entry_point
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.sh $<TARGET_FILE:rururev_image>
            luaopen_rururev_image)
endif()
