# Flags shared by every target of the project.
#
# Windows binaries are linked fully static (-static also pulls in winpthread),
# so they import nothing but the system DLLs. Link timestamps and build paths
# are kept out of the images so that the same sources give the same bytes.

add_compile_options(-Wall -Wextra -Werror
                    "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
                    "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build")

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # -fstack-protector-strong at the link brings in the protector's runtime
  # (statically) for every test linking the deliverables' code; the
  # deliverables define its guard and handler themselves (zmk_stack_guard).
  add_link_options(-static -Wl,--no-insert-timestamp -fstack-protector-strong
                   -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
endif()

# Code of the deliverables: no exceptions, no RTTI, and a stack canary in
# every function with a local array or address-taken local (on Windows; the
# native build runs the same code under the sanitizers instead).
set(ZMK_PRODUCT_FLAGS -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
if(WIN32)
  list(APPEND ZMK_PRODUCT_FLAGS -fstack-protector-strong)
endif()

# Targets compile their sources as one unit (most of the build's time goes
# to parsing windows.h and gtest.h once a source). The library's and the
# installer's code is compiled a source at a time, as it always was, so that
# their bytes do not depend on which sources share a unit: zmk_deliverable and
# zmk_product_code say so, unless zmk_deliverable is told the program is a
# test-only copy (TEST_COPY) or has bytes of its own to choose (UNITY).
set(CMAKE_UNITY_BUILD ON)

# A shipped Windows binary: symbols stripped, and subsystem version 6.0 as
# current Windows linkers write. Each is listed in the global property
# ZMK_SHIPPED_PROGRAMS, whose images the deliverables' tests check; a
# test-only build of one (TEST_COPY) is not.
function(zmk_deliverable target)
  cmake_parse_arguments(D "TEST_COPY;UNITY" "" "" ${ARGN})
  if(NOT D_TEST_COPY)
    set_property(GLOBAL APPEND PROPERTY ZMK_SHIPPED_PROGRAMS ${target})
  endif()
  if(NOT D_TEST_COPY AND NOT D_UNITY)
    set_property(TARGET ${target} PROPERTY UNITY_BUILD OFF)
  endif()
  set_property(TARGET ${target} PROPERTY ZMK_PRODUCT_CODE TRUE)
  target_compile_options(${target} PRIVATE ${ZMK_PRODUCT_FLAGS})
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections
                      -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)
endfunction()

# Code of the deliverables that is also linked into tests.
function(zmk_product_code target)
  set_property(TARGET ${target} PROPERTY UNITY_BUILD OFF)
  set_property(TARGET ${target} PROPERTY ZMK_PRODUCT_CODE TRUE)
  target_compile_options(${target} PRIVATE ${ZMK_PRODUCT_FLAGS})
endfunction()

find_program(ZMK_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
