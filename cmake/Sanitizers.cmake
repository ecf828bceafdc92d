# Instrumentation for the hardening builds, applied to every target defined
# after this file is included.
#
# RURUREV_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer. The first
# report ends the process (no recovery), so no test or fuzz run can pass over
# one. float-cast-overflow is named because GCC leaves it out of "undefined".
#
# RURUREV_TSAN: ThreadSanitizer, for the filters that split frames over
# threads. It cannot be combined with AddressSanitizer, so it is a build of
# its own; the tests that run threads are run in it.
#
# RURUREV_FUZZ: coverage feedback for libFuzzer in every object, so that the
# fuzz targets see the branches of the kernels and bindings; the targets in
# fuzz/ link the libFuzzer runtime themselves.
#
# Reports need file and line only: line tables (not full debug information,
# which RelWithDebInfo's -g would give) build these large units much faster.

if(RURUREV_SANITIZE)
  set(RURUREV_SANITIZER_FLAGS
    -fsanitize=address,undefined,float-cast-overflow
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${RURUREV_SANITIZER_FLAGS} -gline-tables-only)
  add_link_options(${RURUREV_SANITIZER_FLAGS})

  # The stock interpreters are not instrumented: to load the instrumented
  # modules they need the sanitizer runtime preloaded ahead of everything.
  # Every executable links that same shared runtime (GCC's default), so
  # that the interpreters a test starts can inherit the preload.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_link_options(-shared-libasan)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} --print-runtime-dir
      OUTPUT_VARIABLE runtime_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(CMAKE_BUILD_RPATH ${runtime_dir})
    set(runtimes libclang_rt.asan-${CMAKE_SYSTEM_PROCESSOR}.so)
  else()
    set(runtimes libasan.so libubsan.so)
  endif()
  set(RURUREV_SANITIZER_PRELOAD "")
  foreach(runtime ${runtimes})
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND RURUREV_SANITIZER_PRELOAD ${path})
  endforeach()
  list(JOIN RURUREV_SANITIZER_PRELOAD ":" RURUREV_SANITIZER_PRELOAD)
endif()

if(RURUREV_TSAN)
  if(RURUREV_SANITIZE)
    message(FATAL_ERROR "RURUREV_TSAN and RURUREV_SANITIZE need builds of their own")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -gline-tables-only)
  add_link_options(-fsanitize=thread)
endif()

if(RURUREV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "RURUREV_FUZZ needs clang (for example CXX=clang++-14 CC=clang-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
