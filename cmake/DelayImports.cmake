# Libraries bound on first use. Their imports go through a delay-import library made here
# from the library's exports by ordinal; the library itself is loaded when the program
# first calls one of them.
#
# purgekit_delay_import(<target> <dll> <export>@<ordinal>@<argument bytes> ...) links the
# delay-import library of <dll> into <target>. The argument bytes give the stdcall names of
# the 32-bit program.
function(purgekit_delay_import target dll)
  string(REGEX REPLACE "\\.[dD][lL][lL]$" "" base "${dll}")
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  foreach(export IN LISTS ARGN)
    string(REPLACE "@" ";" parts "${export}")
    list(GET parts 0 name)
    list(GET parts 1 ordinal)
    list(GET parts 2 bytes)
    if(PURGEKIT_ARCH STREQUAL "32")
      string(APPEND def "${name}@${bytes} @${ordinal} NONAME\n")
    else()
      string(APPEND def "${name} @${ordinal} NONAME\n")
    endif()
  endforeach()
  set(dir "${CMAKE_BINARY_DIR}/delayimports")
  file(WRITE "${dir}/${base}.def" "${def}")
  set(lib "${dir}/lib${base}_delay.a")
  set(kill_at)
  if(PURGEKIT_ARCH STREQUAL "32")
    set(kill_at --kill-at)
  endif()
  add_custom_command(OUTPUT "${lib}"
    COMMAND "${CMAKE_DLLTOOL}" --input-def "${dir}/${base}.def" --dllname "${dll}"
            --output-delaylib "${lib}" ${kill_at}
    DEPENDS "${dir}/${base}.def"
    COMMENT "Making the delay-import library of ${dll}"
    VERBATIM)
  add_custom_target(${base}_delay_import DEPENDS "${lib}")
  add_dependencies(${target} ${base}_delay_import)
  target_link_libraries(${target} PUBLIC "${lib}" delayimp)
endfunction()
