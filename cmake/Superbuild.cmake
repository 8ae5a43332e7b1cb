include(ExternalProject)

if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release)
endif()

set(PURGEKIT_DEPS_DIR "${CMAKE_BINARY_DIR}/deps")
execute_process(COMMAND bash "${CMAKE_SOURCE_DIR}/cmake/fetch-sources.sh" "${PURGEKIT_DEPS_DIR}"
                RESULT_VARIABLE fetch_result)
if(NOT fetch_result EQUAL 0)
  message(FATAL_ERROR "Fetching the Lua and zlib sources failed")
endif()

# Every program the tests start runs in this build tree's own Wine prefix.
set(PURGEKIT_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
configure_file("${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run.sh"
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)

set(common_args
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DPURGEKIT_DEPS_DIR=${PURGEKIT_DEPS_DIR}
    -DCMAKE_CROSSCOMPILING_EMULATOR=${CMAKE_BINARY_DIR}/wine-run.sh
    -DPURGEKIT_OUTPUT_DIR=${CMAKE_BINARY_DIR}/bin
    -DPURGEKIT_WINEPREFIX=${PURGEKIT_WINEPREFIX})

ExternalProject_Add(win64
  SOURCE_DIR "${CMAKE_SOURCE_DIR}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/win64"
  CMAKE_ARGS ${common_args} -DPURGEKIT_ARCH=64
             -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# The 32-bit program carries the 64-bit one, so it is built second.
ExternalProject_Add(win32
  SOURCE_DIR "${CMAKE_SOURCE_DIR}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/win32"
  CMAKE_ARGS ${common_args} -DPURGEKIT_ARCH=32
             -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  DEPENDS win64)

# CTest at the top runs the tests of both build trees.
file(WRITE "${CMAKE_BINARY_DIR}/CTestTestfile.cmake" "subdirs(win64)\nsubdirs(win32)\n")
