# cmake -DPAYLOAD=<file> -DOUTPUT=<header> -P payload_length.cmake
# The writer's byte count comes from the very file that is embedded. The
# header is always rewritten, so that it is newer than the library it reflects.
file(SIZE "${PAYLOAD}" size)
file(WRITE "${OUTPUT}" "// Generated from the size of the embedded ZELMORK.dll.\n#pragma once\n\nnamespace zmk {\ninline constexpr unsigned long kPayloadLength = ${size}UL;\n}  // namespace zmk\n")
