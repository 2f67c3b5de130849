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
  add_link_options(-static -Wl,--no-insert-timestamp
                   -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
endif()

# A shipped Windows binary: no exceptions, no RTTI, symbols stripped.
function(zmk_deliverable target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections)
endfunction()

# Code of the deliverables that is also linked into tests.
function(zmk_product_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
endfunction()

find_program(ZMK_PYTHON NAMES python3 REQUIRED)
