# libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer.
# Each runs for a bounded time in the test suite, starting from the seed
# corpus kept in the repository (new inputs go to a scratch copy in the build).

option(ZMK_FUZZ "Build and run the fuzz targets (needs clang)" ON)
# The suite's short run, 3 s a target, starts from the seed corpus each time
# and searches a little beyond it; a long run is the same test with more
# seconds (README: "Fuzzing longer").
set(ZMK_FUZZ_SECONDS 3 CACHE STRING "Time each fuzz target runs in the test suite")

if(ZMK_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(STATUS "Fuzz targets need clang; not built")
  set(ZMK_FUZZ OFF)
endif()

# zmk_fuzz_library(name SOURCES ... INCLUDES ...)
# The code under test, built again with the fuzzer's coverage instrumentation:
# without it the fuzzer sees only the target's own few edges and cannot steer
# into the checks it is meant to reach.
function(zmk_fuzz_library name)
  if(NOT ZMK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;INCLUDES" ${ARGN})
  add_library(${name} STATIC ${F_SOURCES})
  target_include_directories(${name} PUBLIC ${F_INCLUDES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-sanitize-recover=undefined -g -O1)
endfunction()

# zmk_fuzz_target(name SOURCES ... LIBS ... CORPUS dir)
function(zmk_fuzz_target name)
  if(NOT ZMK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  set(san -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE ${san} -g -O1)
  target_link_options(${name} PRIVATE ${san})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME fuzz.${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1
                   sh -c "mkdir -p '${scratch}' && exec '$<TARGET_FILE:${name}>' -max_total_time=${ZMK_FUZZ_SECONDS} -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 '${scratch}' '${F_CORPUS}'")
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()
