# Writes OUTPUT: a table that references every function IMAGE imports by
# name, so that a DLL linking it imports them all too.
#   cmake -DPYTHON=... -DPE_TOOL=... -DIMAGE=... -DOUTPUT=... -P floor_imports.cmake
execute_process(COMMAND ${PYTHON} ${PE_TOOL} imported-functions ${IMAGE}
                OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(declarations "")
set(entries "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[^ ]+ " "" name "${line}")
  string(APPEND declarations "extern void* __imp_${name};\n")
  string(APPEND entries "    &__imp_${name},\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from the import table of ZELMORK.dll.
extern \"C\" {
${declarations}
extern const void* const kFloorImports[] = {
${entries}    nullptr,
};
}
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
