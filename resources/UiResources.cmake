# The window's resources (Ui.rc.in): templates, manifest, and the images and icon that
# images/MakeImages.py draws into the build tree.
set(PURGEKIT_IMAGES_DIR "${CMAKE_CURRENT_BINARY_DIR}/images")
set(make_images "${CMAKE_CURRENT_SOURCE_DIR}/images/MakeImages.py")
set(ui_images "${PURGEKIT_IMAGES_DIR}/107.png" "${PURGEKIT_IMAGES_DIR}/109.png"
              "${PURGEKIT_IMAGES_DIR}/110.png" "${PURGEKIT_IMAGES_DIR}/PurgeKit.ico")
add_custom_command(
  OUTPUT ${ui_images}
  COMMAND "${PURGEKIT_PYTHON}" "${make_images}" "${PURGEKIT_IMAGES_DIR}"
  DEPENDS "${make_images}"
  COMMENT "Drawing the window's images and icon"
  VERBATIM)

configure_file(Ui.rc.in "${CMAKE_CURRENT_BINARY_DIR}/Ui.rc" @ONLY)
target_sources(purgekit_resources PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/Ui.rc" ${ui_images})
# The resource compiler reads these files, which its dependency scan does not see.
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/Ui.rc" PROPERTIES
  OBJECT_DEPENDS "${ui_images};${CMAKE_CURRENT_SOURCE_DIR}/PurgeKit.manifest;${CMAKE_CURRENT_SOURCE_DIR}/ResourceIds.h")

# The ids, for the code that creates the pages.
add_library(purgekit_resource_ids INTERFACE)
target_include_directories(purgekit_resource_ids INTERFACE "${CMAKE_CURRENT_SOURCE_DIR}")
