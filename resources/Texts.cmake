# The built-in texts: resource 101 (the localizations) and resource 102 (the
# customizations), each made from one source file per language under texts/ into the
# exact "PROPERTIES" format by cmake/MakeProperties.cmake.
set(texts_dir "${CMAKE_CURRENT_SOURCE_DIR}/texts")
set(make_properties "${PROJECT_SOURCE_DIR}/cmake/MakeProperties.cmake")

file(GLOB localization_sources CONFIGURE_DEPENDS "${texts_dir}/localizations/*.txt")
file(GLOB customization_sources CONFIGURE_DEPENDS "${texts_dir}/customizations/*.txt")

set(PURGEKIT_LOCALIZATIONS_FILE "${CMAKE_CURRENT_BINARY_DIR}/localizations.properties")
set(PURGEKIT_CUSTOMIZATIONS_FILE "${CMAKE_CURRENT_BINARY_DIR}/customizations.properties")

add_custom_command(
  OUTPUT "${PURGEKIT_LOCALIZATIONS_FILE}"
  COMMAND "${CMAKE_COMMAND}" "-DSRC_DIR=${texts_dir}/localizations"
          "-DOUT=${PURGEKIT_LOCALIZATIONS_FILE}" -P "${make_properties}"
  DEPENDS ${localization_sources} "${make_properties}"
  COMMENT "Building the localized texts (resource 101)"
  VERBATIM)
add_custom_command(
  OUTPUT "${PURGEKIT_CUSTOMIZATIONS_FILE}"
  COMMAND "${CMAKE_COMMAND}" "-DSRC_DIR=${texts_dir}/customizations"
          "-DOUT=${PURGEKIT_CUSTOMIZATIONS_FILE}" -P "${make_properties}"
  DEPENDS ${customization_sources} "${make_properties}"
  COMMENT "Building the customizations (resource 102)"
  VERBATIM)

configure_file(Texts.rc.in "${CMAKE_CURRENT_BINARY_DIR}/Texts.rc" @ONLY)
target_sources(purgekit_resources PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/Texts.rc"
                                          "${PURGEKIT_LOCALIZATIONS_FILE}"
                                          "${PURGEKIT_CUSTOMIZATIONS_FILE}")
# The resource compiler reads both files, which its dependency scan does not see.
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/Texts.rc" PROPERTIES
  OBJECT_DEPENDS "${PURGEKIT_LOCALIZATIONS_FILE};${PURGEKIT_CUSTOMIZATIONS_FILE}")
