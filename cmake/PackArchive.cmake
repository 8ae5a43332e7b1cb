# The script archive (RCDATA 103) is packed at build time by MakeScriptArchive.py.
find_program(PURGEKIT_PYTHON NAMES python3 REQUIRED)
set(PURGEKIT_ARCHIVE_TOOL "${CMAKE_CURRENT_LIST_DIR}/MakeScriptArchive.py")

# purgekit_script_archive(<output zip> [ROOT <folder>] [ADD <name>=<file> ...])
# Packs every file below ROOT (found again at every build) and each ADD member.
function(purgekit_script_archive output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ROOT" "ADD")
  set(tool_args --output "${output}")
  set(depends "${PURGEKIT_ARCHIVE_TOOL}")
  if(arg_ROOT)
    list(APPEND tool_args --root "${arg_ROOT}")
    file(GLOB_RECURSE root_files CONFIGURE_DEPENDS LIST_DIRECTORIES false "${arg_ROOT}/*")
    list(APPEND depends ${root_files})
  endif()
  foreach(member IN LISTS arg_ADD)
    string(FIND "${member}" "=" separator)
    if(separator LESS 1)
      message(FATAL_ERROR "purgekit_script_archive: ADD '${member}' is not <name>=<file>")
    endif()
    math(EXPR path_start "${separator} + 1")
    string(SUBSTRING "${member}" ${path_start} -1 member_file)
    list(APPEND tool_args --add "${member}")
    list(APPEND depends "${member_file}")
  endforeach()
  get_filename_component(output_name "${output}" NAME)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${PURGEKIT_PYTHON}" "${PURGEKIT_ARCHIVE_TOOL}" ${tool_args}
    DEPENDS ${depends}
    COMMENT "Packing the script archive ${output_name}"
    VERBATIM)
endfunction()
