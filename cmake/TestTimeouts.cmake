# A test that hangs must fail in minutes: rururev_default_test_timeout(N)
# gives every test of the calling directory that sets no TIMEOUT of its own
# one of N seconds, once all of the directory's tests are added (the call is
# deferred to the directory's end, so an early return() does not skip it).
function(rururev_default_test_timeout seconds)
  cmake_language(EVAL CODE
    "cmake_language(DEFER CALL rururev_apply_test_timeout ${seconds})")
endfunction()

function(rururev_apply_test_timeout seconds)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT timeout)
    if(NOT timeout)
      set_tests_properties(${test} PROPERTIES TIMEOUT ${seconds})
    endif()
  endforeach()
endfunction()
