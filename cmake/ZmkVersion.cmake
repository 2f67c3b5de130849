# The versions, written once in the top CMakeLists.txt (the project's version
# is the library's; ZMK_OLD_RELEASE the release it replaces; ZMK_DOCTOR_VERSION
# the doctor's), as the header zmk_version.h for the code and the resource
# scripts: the target zmk_version puts it on their include path.
include_guard(GLOBAL)

string(REPLACE "." ";" old_release_words "${ZMK_OLD_RELEASE}")
list(GET old_release_words 0 ZMK_OLD_RELEASE_MAJOR)
list(GET old_release_words 1 ZMK_OLD_RELEASE_MINOR)
list(GET old_release_words 2 ZMK_OLD_RELEASE_BUILD)
list(GET old_release_words 3 ZMK_OLD_RELEASE_REVISION)
string(REPLACE "." ";" doctor_words "${ZMK_DOCTOR_VERSION}")
list(GET doctor_words 0 ZMK_DOCTOR_VERSION_MAJOR)
list(GET doctor_words 1 ZMK_DOCTOR_VERSION_MINOR)

set(ZMK_VERSION_DIR ${CMAKE_BINARY_DIR}/generated/version)
configure_file(${CMAKE_CURRENT_LIST_DIR}/zmk_version.h.in ${ZMK_VERSION_DIR}/zmk_version.h @ONLY)
add_library(zmk_version INTERFACE)
target_include_directories(zmk_version INTERFACE ${ZMK_VERSION_DIR})
