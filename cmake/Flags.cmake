# Compiler and linker settings shared by every Windows target of the build.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                        WINVER=0x0601)
# Wide printf formats follow the Windows C runtime ("%s" wide, "%S"/"%hs" narrow); the
# program calls the runtime's own _vsnwprintf/_vsnprintf for that, never the C99 variants.
set(PURGEKIT_WARNINGS -Wall -Wextra)
add_link_options(-static -static-libgcc -static-libstdc++)

set(PURGEKIT_VERSION "18.1.32")

if(NOT PURGEKIT_OUTPUT_DIR)
  set(PURGEKIT_OUTPUT_DIR "${CMAKE_BINARY_DIR}/bin")
endif()

# Wine sees the Unix root as drive Z:.
function(purgekit_windows_path out unix_path)
  string(REPLACE "/" "\\\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

function(purgekit_warnings target)
  target_compile_options(${target} PRIVATE ${PURGEKIT_WARNINGS})
endfunction()

# The programs themselves: Unicode entry point wWinMain, GUI subsystem.
function(purgekit_program target)
  target_link_options(${target} PRIVATE -municode -mwindows)
  purgekit_warnings(${target})
endfunction()
