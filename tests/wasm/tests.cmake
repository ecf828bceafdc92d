# The WebAssembly build's tests, run under Node (label wasm, ./dev wasm):
# - the kernel digests: every line of kernel_digest.expected but those of
#   tovoAlp0, whose words come from the C library's rand, and the fast
#   paths over every 24-bit colour (kernel_digest_every_colour.expected);
# - in the engine's Lua (tests/wasm/run_lua.js): the Lua word tests, the
#   picture module's test and photos with their EXIF orientation, on its
#   in-memory file system.
find_program(RURUREV_NODE NAMES node nodejs REQUIRED)
target_link_options(rururev_kernel_digest PRIVATE -sSINGLE_FILE=1 -sALLOW_MEMORY_GROWTH=1)
add_test(NAME wasm_kernel_digest
  COMMAND sh -c "\"$1\" \"$2\" | grep -v '^tovoAlp0(' >\"$3\" && grep -v '^tovoAlp0(' \"$4\" | diff - \"$3\""
          sh ${RURUREV_NODE} $<TARGET_FILE:rururev_kernel_digest> ${CMAKE_CURRENT_BINARY_DIR}/kernel_digest.txt
          ${CMAKE_CURRENT_SOURCE_DIR}/windows/kernel_digest.expected)
# Every line of kernel_digest_every_colour.expected: the fast paths over
# every 24-bit colour.
add_test(NAME wasm_kernel_digest_every_colour
  COMMAND sh -c "\"$1\" \"$2\" --every-colour >\"$3\" && diff \"$4\" \"$3\""
          sh ${RURUREV_NODE} $<TARGET_FILE:rururev_kernel_digest>
          ${CMAKE_CURRENT_BINARY_DIR}/kernel_digest_every_colour.txt
          ${CMAKE_CURRENT_SOURCE_DIR}/windows/kernel_digest_every_colour.expected)
set_tests_properties(wasm_kernel_digest_every_colour PROPERTIES LABELS wasm TIMEOUT 600)
set(RURUREV_RUN_LUA ${RURUREV_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/wasm/run_lua.js
  $<TARGET_FILE:rururev_wasm_engine>)
add_test(NAME wasm_filter_words
  COMMAND ${RURUREV_RUN_LUA} --file ${PROJECT_SOURCE_DIR}/src/filters/filter_list.inc
          ${CMAKE_CURRENT_SOURCE_DIR}/lua/filter_words.lua ${CMAKE_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/src/cli/filters.lua)
add_test(NAME wasm_image_module
  COMMAND ${RURUREV_RUN_LUA} ${CMAKE_CURRENT_SOURCE_DIR}/lua/image_test.lua ${CMAKE_BINARY_DIR})
add_test(NAME wasm_photos COMMAND ${RURUREV_RUN_LUA} ${CMAKE_CURRENT_SOURCE_DIR}/wasm/photo_test.lua /tmp)
set_tests_properties(wasm_kernel_digest wasm_filter_words wasm_image_module wasm_photos
  PROPERTIES LABELS wasm TIMEOUT 120)

# The page from file:// in headless Chromium with playwright-core (which
# ./dev wasm installs into the build folder); skipped without them, but in CI.
add_test(NAME wasm_page_in_browser
  COMMAND sh -c "if [ -x /usr/bin/chromium ] && [ -d \"$3/node_modules/playwright-core\" ]; then exec \"$0\" \"$1\" \"$2\" \"$4\" \"$3/node_modules\"; fi
                 echo 'not run: chromium or playwright-core missing (./dev wasm installs them)'
                 [ \"$CI\" = true ] && exit 1; exit 77"
          ${RURUREV_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/wasm/page_test.mjs ${CMAKE_BINARY_DIR}/playground.html
          ${CMAKE_BINARY_DIR}/node $<TARGET_FILE:rururev_wasm_engine>)
set_tests_properties(wasm_page_in_browser PROPERTIES LABELS wasm TIMEOUT 300 SKIP_RETURN_CODE 77)
