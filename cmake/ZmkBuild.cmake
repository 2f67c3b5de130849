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
  # (statically), for the deliverables and for every test linking their code.
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

# A shipped Windows binary: symbols stripped, and subsystem version 6.0 as
# current Windows linkers write. Each is listed in the global property
# ZMK_SHIPPED_PROGRAMS, whose images the deliverables' tests check; a
# test-only build of one (TEST_COPY) is not.
function(zmk_deliverable target)
  cmake_parse_arguments(D "TEST_COPY" "" "" ${ARGN})
  if(NOT D_TEST_COPY)
    set_property(GLOBAL APPEND PROPERTY ZMK_SHIPPED_PROGRAMS ${target})
  endif()
  set_property(TARGET ${target} PROPERTY ZMK_PRODUCT_CODE TRUE)
  target_compile_options(${target} PRIVATE ${ZMK_PRODUCT_FLAGS})
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections
                      -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)
endfunction()

# Code of the deliverables that is also linked into tests.
function(zmk_product_code target)
  set_property(TARGET ${target} PROPERTY ZMK_PRODUCT_CODE TRUE)
  target_compile_options(${target} PRIVATE ${ZMK_PRODUCT_FLAGS})
endfunction()

# The shipped code's Windows sources parse the same Windows headers: one
# precompiled header, made with the shipped code's own flags, serves them.
# It changes no byte of the deliverables: built with and without it, they
# are the same. The test-only copies of that code, which force headers of
# their own in first, do without it.
function(zmk_precompile_product_headers)
  foreach(target IN LISTS ARGN)
    target_precompile_headers(${target} REUSE_FROM zmk_product_headers)
  endforeach()
endfunction()

# True in ${out} when target links gtest, directly or through its libraries.
function(zmk_uses_gtest target out)
  set(${out} FALSE PARENT_SCOPE)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending item)
    if(item STREQUAL "gtest")
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    if(NOT TARGET ${item} OR item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    get_target_property(links ${item} LINK_LIBRARIES)
    get_target_property(interface_links ${item} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface_links)
      if(link AND NOT link MATCHES "NOTFOUND|^\\$<")
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
endfunction()

# Every Windows test program parses windows.h and gtest.h: one precompiled
# header serves them all (the build's largest cost). The shipped code, the
# stand-ins and the fixtures are compiled without it, so their binaries stay
# what they are.
function(zmk_precompile_test_headers)
  set(pending ${CMAKE_SOURCE_DIR})
  set(targets)
  while(pending)
    list(POP_FRONT pending dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    get_property(dir_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    list(APPEND pending ${subdirs})
    list(APPEND targets ${dir_targets})
  endwhile()
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(product ${target} ZMK_PRODUCT_CODE)
    get_target_property(imported ${target} IMPORTED)
    if(product OR imported OR target MATCHES "^gtest|^zmk_test_headers$" OR NOT type MATCHES "EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    zmk_uses_gtest(${target} uses_gtest)
    if(sources AND uses_gtest)
      # The header was made with gtest's settings; every user must see them.
      target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:gtest,INTERFACE_COMPILE_DEFINITIONS>)
      target_compile_options(${target} PRIVATE $<TARGET_PROPERTY:gtest,INTERFACE_COMPILE_OPTIONS>)
      target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:gtest,INTERFACE_INCLUDE_DIRECTORIES>)
      target_precompile_headers(${target} REUSE_FROM zmk_test_headers)
    endif()
  endforeach()
endfunction()

find_program(ZMK_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
