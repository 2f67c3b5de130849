# Windows tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
#
# One Wine session per test run: a fresh prefix in the build tree, an Xvfb
# display and a persistent wineserver. The session is a ctest fixture, so it is
# set up before the first test that needs it and torn down after the last one,
# whether the tests passed or not.

set(ZMK_WINE_SESSION ${CMAKE_BINARY_DIR}/wine-session)
set(ZMK_WINE_DIR ${CMAKE_SOURCE_DIR}/testing/wine)
configure_file(${ZMK_WINE_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)

add_test(NAME wine.session.start COMMAND ${ZMK_WINE_DIR}/wine-session.sh start ${ZMK_WINE_SESSION})
add_test(NAME wine.session.stop COMMAND ${ZMK_WINE_DIR}/wine-session.sh stop ${ZMK_WINE_SESSION})
set_tests_properties(wine.session.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# zmk_wine_test(NAME name COMMAND target [args...] [RESOURCE_LOCK locks...] [TIMEOUT s])
# Runs a Windows executable under the session's Wine. Every test gets the
# session's prefix and display.
function(zmk_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;RESOURCE_LOCK;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT}
                       LABELS "wine;${T_LABELS}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# zmk_script_test(NAME name COMMAND script [args...] ...)
# A shell-driven test (network namespaces, other users' prefixes) that still
# uses the session; the script gets ZMK_WINE_RUN and ZMK_WINE_SESSION.
function(zmk_script_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;RESOURCE_LOCK;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND bash ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT}
                       LABELS "wine;${T_LABELS}"
                       ENVIRONMENT "ZMK_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run;ZMK_WINE_SESSION=${ZMK_WINE_SESSION};ZMK_BUILD_DIR=${CMAKE_BINARY_DIR};ZMK_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()
