# Optional Authenticode signing of the deliverables. With both cache variables
# set, each deliverable is signed right after its link (tools/signing/sign.sh);
# with either empty, nothing is added to the build at all, so unsigned builds
# stay byte for byte what they were.
include_guard(GLOBAL)

set(ZMK_SIGN_CERT "" CACHE FILEPATH "PEM certificate that signs the deliverables; empty: unsigned")
set(ZMK_SIGN_KEY "" CACHE FILEPATH "PEM private key of ZMK_SIGN_CERT")
set(ZMK_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server for a real release; empty: the fixed SOURCE_DATE_EPOCH time")

# zmk_sign_after_build(target [CHECKSUM]): CHECKSUM writes the image checksum
# again after signing. The checksum field is outside what the signature
# covers, so this cannot break the signature.
function(zmk_sign_after_build target)
  if(NOT ZMK_SIGN_CERT OR NOT ZMK_SIGN_KEY)
    return()
  endif()
  cmake_parse_arguments(S "CHECKSUM" "" "" ${ARGN})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env ZMK_SIGN_TIMESTAMP_URL=${ZMK_SIGN_TIMESTAMP_URL}
            bash ${CMAKE_SOURCE_DIR}/tools/signing/sign.sh ${ZMK_SIGN_CERT} ${ZMK_SIGN_KEY} $<TARGET_FILE:${target}>
    COMMENT "Signing ${target}"
    VERBATIM)
  if(S_CHECKSUM)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${ZMK_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe/pe_tool.py set-checksum $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()
