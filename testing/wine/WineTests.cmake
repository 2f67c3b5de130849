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

# zmk_node_test(NAME name SESSION a|b|c|d COMMAND target [args...] [DESKTOP] ...)
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

# zmk_wine_gtest(TARGET program PREFIX prefix SESSION a|b|c|d [PER_SUITE]
#                [SUITES suite...] [EXCEPT suite...] [ARGS args...] [DESKTOP] [RESOURCE_LOCK locks...] [TIMEOUT s] [COST s])
# A GoogleTest program under Wine, one ctest a case (PER_SUITE: a suite),
# named PREFIX.Case (PREFIX.Suite) and run with --gtest_filter and ARGS. The
# cases are found in the program's sources when CMake configures, since
# listing them by running the program would need Wine at build time; a
# TEST_P case runs with every instantiation. SUITES keeps only those suites,
# EXCEPT leaves those out.
function(zmk_wine_gtest)
  cmake_parse_arguments(G "DESKTOP;PER_SUITE" "TARGET;PREFIX;SESSION;TIMEOUT;COST" "SUITES;EXCEPT;ARGS;RESOURCE_LOCK"
                        ${ARGN})
  get_target_property(sources ${G_TARGET} SOURCES)
  get_target_property(source_dir ${G_TARGET} SOURCE_DIR)
  set(cases)
  set(word "[A-Za-z0-9_]+")
  set(space "[ \t\r\n]*")
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.cpp$")
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(READ ${source} text)
    set(text "\n${text}")
    # Instantiations of value-parameterised suites: Prefix/Suite.
    string(REGEX MATCHALL "INSTANTIATE_TEST_SUITE_P\\(${space}${word},${space}${word}" instances "${text}")
    string(REGEX MATCHALL "\nTEST(_F|_P)?\\(${word},${space}${word}\\)" found "${text}")
    foreach(match IN LISTS found)
      string(REGEX REPLACE ".*TEST([_FP]*)\\((${word}),${space}(${word})\\)" "\\1;\\2;\\3" parts "${match}")
      list(GET parts 1 suite)
      list(GET parts 2 name)
      if((G_SUITES AND NOT suite IN_LIST G_SUITES) OR suite IN_LIST G_EXCEPT)
        continue()
      endif()
      set(filters "${suite}.${name}")
      if(match MATCHES "TEST_P")
        set(filters)
        foreach(instance IN LISTS instances)
          string(REGEX REPLACE ".*\\(${space}(${word}),${space}(${word})" "\\1;\\2" pair "${instance}")
          list(GET pair 1 instanced)
          if(instanced STREQUAL suite)
            list(GET pair 0 prefix)
            list(APPEND filters "${prefix}/${suite}.${name}/*")
          endif()
        endforeach()
      endif()
      if(G_PER_SUITE)
        set(case ${suite})
        list(TRANSFORM filters REPLACE "\\.${name}(/\\*)?$" ".*")
      else()
        set(case ${name})
      endif()
      list(APPEND cases "${case}")
      list(APPEND filters_${case} ${filters})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES cases)
  if(NOT cases)
    message(FATAL_ERROR "zmk_wine_gtest: no test case found in ${G_TARGET}'s sources")
  endif()
  set(options)
  if(G_DESKTOP)
    list(APPEND options DESKTOP)
  endif()
  foreach(key TIMEOUT COST)
    if(G_${key})
      list(APPEND options ${key} ${G_${key}})
    endif()
  endforeach()
  if(G_RESOURCE_LOCK)
    list(APPEND options RESOURCE_LOCK ${G_RESOURCE_LOCK})
  endif()
  foreach(case IN LISTS cases)
    list(REMOVE_DUPLICATES filters_${case})
    list(JOIN filters_${case} ":" filter)
    zmk_wine_test(NAME ${G_PREFIX}.${case} SESSION ${G_SESSION} COMMAND ${G_TARGET} --gtest_filter=${filter} ${G_ARGS}
                  ${options})
  endforeach()
endfunction()
