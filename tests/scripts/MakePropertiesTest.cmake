# Checks cmake/MakeProperties.cmake on small source folders:
#   cmake -DMAKE_PROPERTIES=<script> -DWORK_DIR=<scratch folder> -P MakePropertiesTest.cmake
# Each case is a folder of sources given as hex bytes, and either the exact output expected
# or a failure that writes nothing.

set(failures "")

# Writes the given hex bytes into <WORK_DIR>/<case>/<file>.txt. CMake strings can't hold
# every byte (NUL), so Python writes them.
function(write_source case file hex)
  file(MAKE_DIRECTORY "${WORK_DIR}/${case}")
  execute_process(
    COMMAND python3 -c "import sys; open(sys.argv[1], 'wb').write(bytes.fromhex(sys.argv[2]))"
            "${WORK_DIR}/${case}/${file}.txt" "${hex}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not write ${case}/${file}.txt")
  endif()
endfunction()

# The expected output may be given in several pieces.
function(run_case case expect_ok)
  string(REPLACE ";" "" expected_hex "${ARGN}")
  file(REMOVE "${WORK_DIR}/${case}.out")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DSRC_DIR=${WORK_DIR}/${case}"
                          "-DOUT=${WORK_DIR}/${case}.out" -P "${MAKE_PROPERTIES}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
  if(expect_ok)
    if(NOT result EQUAL 0)
      list(APPEND failures "${case}: failed: ${error}")
    else()
      file(READ "${WORK_DIR}/${case}.out" written HEX)
      if(NOT written STREQUAL expected_hex)
        list(APPEND failures "${case}: wrote ${written}, expected ${expected_hex}")
      endif()
    endif()
  else()
    if(result EQUAL 0)
      list(APPEND failures "${case}: accepted")
    elseif(EXISTS "${WORK_DIR}/${case}.out")
      list(APPEND failures "${case}: failed but wrote its output")
    endif()
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")

# LF and CR LF sources give the same CR LF output; ';', '[', ']', '\', '#', '%', '=' and ':'
# pass unchanged; empty lines are dropped; GLOBAL lines come without a language and sort
# before the lower-case languages.
# de.txt: "T=a;b[c]\#%=:Ü\r\n\r\nN=n" (CR LF, no line end at the end)
write_source(mixed de "543d613b625b635d5c23253d3ac39c0d0a0d0a4e3d6e")
# GLOBAL.txt: "K=v\n"
write_source(mixed GLOBAL "4b3d760a")
# es-MX.txt: "T=x\n"
write_source(mixed es-MX "543d780a")
run_case(mixed TRUE
  "4b3d760d0a"
  "64653a543d613b625b635d5c23253d3ac39c0d0a64653a4e3d6e0d0a"
  "65732d4d583a543d780d0a")

write_source(bom de "efbbbf543d610a")
run_case(bom FALSE)
write_source(nul de "543d61006200")
run_case(nul FALSE)
write_source(inner_cr de "543d610d620a")
run_case(inner_cr FALSE)
write_source(no_equals de "540a")
run_case(no_equals FALSE)
write_source(empty_key de "3d610a")
run_case(empty_key FALSE)
write_source(global_colon GLOBAL "613a623d630a")
run_case(global_colon FALSE)

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "MakeProperties:\n${text}")
endif()
message(STATUS "MakeProperties: all cases passed")
