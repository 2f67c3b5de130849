# Windows tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
#
# Four Wine sessions per test run, "a" to "d", each with a fresh prefix in the
# build tree, an Xvfb display, a persistent wineserver and (as root) a network
# namespace of its own, so that tests of different sessions share nothing and
# run side by side. Each session is a ctest fixture: set up before the first
# test that needs it and torn down after the last one, whether the tests
# passed or not.

set(ZMK_WINE_DIR ${CMAKE_SOURCE_DIR}/testing/wine)
set(ZMK_WINE_SESSIONS a b c d)
# The build's first session is the one scripts and benchmarks get by default.
set(ZMK_WINE_SESSION ${CMAKE_BINARY_DIR}/wine-session)
configure_file(${ZMK_WINE_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)

function(zmk_wine_session_dir session out)
  set(${out} ${CMAKE_BINARY_DIR}/wine-session-${session} PARENT_SCOPE)
endfunction()

foreach(session IN LISTS ZMK_WINE_SESSIONS)
  zmk_wine_session_dir(${session} dir)
  add_test(NAME wine.session.start.${session} COMMAND ${ZMK_WINE_DIR}/wine-session.sh start ${dir})
  add_test(NAME wine.session.stop.${session} COMMAND ${ZMK_WINE_DIR}/wine-session.sh stop ${dir})
  set_tests_properties(wine.session.start.${session} PROPERTIES FIXTURES_SETUP wine-${session} TIMEOUT 180)
  set_tests_properties(wine.session.stop.${session} PROPERTIES FIXTURES_CLEANUP wine-${session} TIMEOUT 60)
endforeach()

# What the tests of one session share is named by resource locks, each taken
# as "<session>:<lock>":
#   desktop         the session's one desktop: a test that shows a window takes
#                   it (focus, the foreground window as a dialog's owner, window
#                   captions and pixels on screen are all desktop-wide)
#   program-files   the prefix's Program Files folder
#   host-settings   the host's registry value and settings file
#   system32-ftd2xx the D2XX stand-in in the system directory
#   artnet-port     UDP 6454 of the session's namespace, which the probe binds

# Test properties common to both kinds of Wine test.
function(zmk_wine_test_properties name session desktop timeout locks labels)
  if(NOT timeout)
    set(timeout 300)
  endif()
  if(desktop)
    list(APPEND locks desktop)
  endif()
  list(TRANSFORM locks PREPEND "${session}:")
  zmk_wine_session_dir(${session} dir)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine-${session} TIMEOUT ${timeout}
                       LABELS "wine;${labels}"
                       ENVIRONMENT "ZMK_WINE_SESSION=${dir};ZMK_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run;ZMK_BUILD_DIR=${CMAKE_BINARY_DIR};ZMK_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()

# zmk_wine_test(NAME name SESSION a|b|c|d COMMAND target [args...] [DESKTOP]
#               [RESOURCE_LOCK locks...] [TIMEOUT s] [COST s])
# Runs a Windows executable under the session's Wine, with its prefix and
# display; DESKTOP marks a test that shows windows. COST, the seconds a long
# test takes, lets ctest start it first: a fresh clone has no timings of its own.
function(zmk_wine_test)
  cmake_parse_arguments(T "DESKTOP" "NAME;SESSION;TIMEOUT;COST" "COMMAND;RESOURCE_LOCK;LABELS" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  zmk_wine_test_properties(${T_NAME} "${T_SESSION}" "${T_DESKTOP}" "${T_TIMEOUT}" "${T_RESOURCE_LOCK}" "${T_LABELS}")
  if(T_COST)
    set_tests_properties(${T_NAME} PROPERTIES COST ${T_COST})
  endif()
endfunction()

# zmk_script_test(NAME name SESSION a|b|c|d COMMAND script [args...] [DESKTOP] ...)
# A shell-driven test (network namespaces, other users' prefixes) that still
# uses a session; the script gets ZMK_WINE_RUN and ZMK_WINE_SESSION.
function(zmk_script_test)
  list(FIND ARGN COMMAND at)
  math(EXPR at "${at} + 1")
  list(INSERT ARGN ${at} bash)
  zmk_wine_test(${ARGN})
endfunction()

# zmk_node_test(NAME name SESSION a|b|c COMMAND target [args...] [DESKTOP] ...)
# A Windows test program run against the simulated Art-Net node, in network
# namespaces made for the run (testing/netns/run-with-node.sh).
function(zmk_node_test)
  cmake_parse_arguments(T "DESKTOP" "NAME;SESSION;TIMEOUT;COST" "COMMAND;RESOURCE_LOCK;LABELS" ${ARGN})
  list(POP_FRONT T_COMMAND program)
  set(desktop)
  if(T_DESKTOP)
    set(desktop DESKTOP)
  endif()
  zmk_script_test(NAME ${T_NAME} SESSION ${T_SESSION} ${desktop} TIMEOUT "${T_TIMEOUT}" COST "${T_COST}"
                  COMMAND ${CMAKE_SOURCE_DIR}/testing/netns/run-with-node.sh
                          ${CMAKE_BINARY_DIR}/standins/artnet-node/artnet-node $<TARGET_FILE:${program}> ${T_COMMAND}
                  RESOURCE_LOCK ${T_RESOURCE_LOCK} LABELS "${T_LABELS}")
  add_dependencies(${program} artnet_node_host)
endfunction()
