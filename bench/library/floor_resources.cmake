# Writes the resources of the floors that carry the library's, read from
# IMAGE: OUTPUT_DIR/resources.o holds every resource of IMAGE, and
# OUTPUT_DIR/manifest.o its manifest alone (type 24, id 2, US English).
#   cmake -DRC=... -DPYTHON=... -DPE_TOOL=... -DIMAGE=... -DOUTPUT_DIR=... -P floor_resources.cmake
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${RC} -i ${IMAGE} -O coff -o ${OUTPUT_DIR}/resources.o COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${PYTHON} ${PE_TOOL} resource 24 2 ${IMAGE} ${OUTPUT_DIR}/library.manifest
                COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${OUTPUT_DIR}/manifest.rc "LANGUAGE 9, 1\n2 24 \"${OUTPUT_DIR}/library.manifest\"\n")
execute_process(COMMAND ${RC} -i ${OUTPUT_DIR}/manifest.rc -O coff -o ${OUTPUT_DIR}/manifest.o COMMAND_ERROR_IS_FATAL ANY)
