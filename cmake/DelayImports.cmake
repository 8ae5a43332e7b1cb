# Libraries bound on first use. Their imports go through a delay-import library made here
# with dlltool; the library itself is found by the program's own resolver
# (winsupport/DelayLoad.cpp) when one of its functions is called the first time.
#
# purgekit_delay_import(<target> <dll> <export>@<ordinal>@<argument bytes> ...) links the
# delay-import library of <dll> into <target>. An export with an ordinal is bound by that
# ordinal, one with an empty ordinal (<export>@@<bytes>) by its name. The argument bytes
# give the stdcall names of the 32-bit program. <dll> is the name as the import carries it.
function(purgekit_delay_import target dll)
  string(REGEX REPLACE "\\.[dD][lL][lL]$" "" base "${dll}")
  string(TOLOWER "${base}" base)
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  set(keep)
  foreach(export IN LISTS ARGN)
    string(REPLACE "@" ";" parts "${export}")
    list(GET parts 0 name)
    list(GET parts 1 ordinal)
    list(GET parts 2 bytes)
    set(line "${name}")
    if(PURGEKIT_ARCH STREQUAL "32")
      string(APPEND line "@${bytes}")
      # The 32-bit linker drops the thunk of an import that is only called through its import
      # slot (dllimport), and the slot then holds 0 instead of the thunk's address: name the
      # thunk so that it stays.
      list(APPEND keep "LINKER:-u,_${name}@${bytes}")
    endif()
    if(NOT ordinal STREQUAL "")
      string(APPEND line " @${ordinal} NONAME")
    endif()
    string(APPEND def "${line}\n")
  endforeach()
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/delayimports")
  set(def_file "${dir}/${target}_${base}.def")
  file(CONFIGURE OUTPUT "${def_file}" CONTENT "${def}")
  set(lib "${dir}/lib${target}_${base}_delay.a")
  set(kill_at)
  if(PURGEKIT_ARCH STREQUAL "32")
    set(kill_at --kill-at)
  endif()
  add_custom_command(OUTPUT "${lib}"
    COMMAND "${CMAKE_DLLTOOL}" --input-def "${def_file}" --dllname "${dll}"
            --output-delaylib "${lib}" ${kill_at}
    DEPENDS "${def_file}"
    COMMENT "Making the delay-import library of ${dll} for ${target}"
    VERBATIM)
  add_custom_target(${target}_${base}_delay_import DEPENDS "${lib}")
  add_dependencies(${target} ${target}_${base}_delay_import)
  target_link_libraries(${target} PUBLIC "${lib}")
  # The thunks call __delayLoadHelper2. Naming it undefined from the start makes the link take
  # our definition (winsupport, DelayLoadHelper.cpp) before the runtime's own one is seen.
  if(PURGEKIT_ARCH STREQUAL "32")
    target_link_options(${target} PUBLIC "LINKER:-u,___delayLoadHelper2@8" ${keep})
  else()
    target_link_options(${target} PUBLIC "LINKER:-u,__delayLoadHelper2")
  endif()
endfunction()
