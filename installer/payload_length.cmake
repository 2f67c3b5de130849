# cmake -DPAYLOAD=<file> -DOUTPUT=<header> -P payload_length.cmake
# The writer's byte count comes from the very file that is embedded.
file(SIZE "${PAYLOAD}" size)
set(content "// Generated from the size of the embedded ZELMORK.dll.\n#pragma once\n\nnamespace zmk {\ninline constexpr unsigned long kPayloadLength = ${size}UL;\n}  // namespace zmk\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
