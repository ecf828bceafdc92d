# The WebAssembly build's tests, run under Node (label wasm, ./dev wasm):
# - the kernel digests: every line of kernel_digest.expected but those of
#   tovoAlp0, whose words come from the C library's rand;
# - the Lua word tests in the engine's Lua (tests/wasm/run_lua.js).
find_program(RURUREV_NODE NAMES node nodejs REQUIRED)
target_link_options(rururev_kernel_digest PRIVATE -sSINGLE_FILE=1 -sALLOW_MEMORY_GROWTH=1)
add_test(NAME wasm_kernel_digest
  COMMAND sh -c "\"$1\" \"$2\" | grep -v '^tovoAlp0(' >\"$3\" && grep -v '^tovoAlp0(' \"$4\" | diff - \"$3\""
          sh ${RURUREV_NODE} $<TARGET_FILE:rururev_kernel_digest> ${CMAKE_CURRENT_BINARY_DIR}/kernel_digest.txt
          ${CMAKE_CURRENT_SOURCE_DIR}/windows/kernel_digest.expected)
set(RURUREV_RUN_LUA ${RURUREV_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/wasm/run_lua.js
  $<TARGET_FILE:rururev_wasm_engine>)
add_test(NAME wasm_filter_words
  COMMAND ${RURUREV_RUN_LUA} --file ${PROJECT_SOURCE_DIR}/src/filters/filter_list.inc
          ${CMAKE_CURRENT_SOURCE_DIR}/lua/filter_words.lua ${CMAKE_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/src/cli/filters.lua)
set_tests_properties(wasm_kernel_digest wasm_filter_words PROPERTIES LABELS wasm TIMEOUT 120)
