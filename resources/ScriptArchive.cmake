# The script archive, resource 103: every file under scripts/ and, in the 32-bit program,
# the 64-bit program that was built before it (see cmake/PackArchive.cmake).
set(PURGEKIT_SCRIPT_ARCHIVE "${CMAKE_CURRENT_BINARY_DIR}/ScriptArchive.zip")
set(script_archive_extra "")
if(PURGEKIT_ARCH STREQUAL "32")
  set(script_archive_extra ADD "PurgeKit64.exe=${PURGEKIT_OUTPUT_DIR}/PurgeKit64.exe")
endif()
purgekit_script_archive("${PURGEKIT_SCRIPT_ARCHIVE}" ROOT "${CMAKE_CURRENT_SOURCE_DIR}/scripts"
                        ${script_archive_extra})

configure_file(ScriptArchive.rc.in "${CMAKE_CURRENT_BINARY_DIR}/ScriptArchive.rc" @ONLY)
target_sources(purgekit_resources PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/ScriptArchive.rc"
                                          "${PURGEKIT_SCRIPT_ARCHIVE}")
# The resource compiler reads the archive, which its dependency scan does not see.
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/ScriptArchive.rc" PROPERTIES
  OBJECT_DEPENDS "${PURGEKIT_SCRIPT_ARCHIVE}")
