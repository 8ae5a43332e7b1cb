# Builds one text resource of the "PROPERTIES" kind from a folder of sources.
#
#   cmake -DSRC_DIR=<folder> -DOUT=<file> -P MakeProperties.cmake
#
# Every <name>.txt of SRC_DIR (sorted by name, compared byte by byte) holds
# lines "Key=Value", UTF-8 without byte-order mark. Each non-empty line becomes
# one output line "<name>:Key=Value"; the lines of GLOBAL.txt are written as
# "Key=Value" (entries without a language). Output lines end with CR LF; the
# output is UTF-8 without byte-order mark and holds nothing else.
#
# Values are copied byte for byte: the text is handled with string(FIND) and
# string(SUBSTRING) only, never as a CMake list or through a regular
# expression, so ';', '[', ']', '\', '#', '=', ':' and '%' pass unchanged.
#
# A source line may end with LF or CR LF. The script fails (and writes nothing)
# on: a byte-order mark, a CR inside a line, a line without '=', a line whose
# key is empty, a NUL byte, a key in GLOBAL.txt that holds ':' (it would be
# read as a language), a file name that holds ':' or '=', or a folder without
# any .txt file.

cmake_minimum_required(VERSION 3.16)

if(NOT DEFINED SRC_DIR OR "${SRC_DIR}" STREQUAL "")
  message(FATAL_ERROR "MakeProperties: SRC_DIR is not set")
endif()
if(NOT DEFINED OUT OR "${OUT}" STREQUAL "")
  message(FATAL_ERROR "MakeProperties: OUT is not set")
endif()
if(NOT IS_DIRECTORY "${SRC_DIR}")
  message(FATAL_ERROR "MakeProperties: '${SRC_DIR}' is not a directory")
endif()

file(GLOB _mp_files LIST_DIRECTORIES false "${SRC_DIR}/*.txt")

# Collect the section names (file names without ".txt") and sort them.
set(_mp_names "")
foreach(_mp_file IN LISTS _mp_files)
  get_filename_component(_mp_name "${_mp_file}" NAME)
  string(LENGTH "${_mp_name}" _mp_len)
  math(EXPR _mp_len "${_mp_len} - 4")
  string(SUBSTRING "${_mp_name}" 0 ${_mp_len} _mp_name)
  if(_mp_len EQUAL 0)
    message(FATAL_ERROR "MakeProperties: '${_mp_file}' has an empty name")
  endif()
  string(FIND "${_mp_name}" ":" _mp_colon)
  string(FIND "${_mp_name}" "=" _mp_equal)
  string(FIND "${_mp_name}" ";" _mp_semi)
  if(NOT _mp_colon EQUAL -1 OR NOT _mp_equal EQUAL -1 OR NOT _mp_semi EQUAL -1)
    message(FATAL_ERROR
      "MakeProperties: the file name '${_mp_name}.txt' holds ':', '=' or ';'")
  endif()
  list(APPEND _mp_names "${_mp_name}")
endforeach()

list(LENGTH _mp_names _mp_count)
if(_mp_count EQUAL 0)
  message(FATAL_ERROR "MakeProperties: no .txt file in '${SRC_DIR}'")
endif()
list(SORT _mp_names)

set(_mp_out "")

foreach(_mp_name IN LISTS _mp_names)
  set(_mp_file "${SRC_DIR}/${_mp_name}.txt")

  # A NUL byte would silently cut the text that file(READ) returns. (The length
  # of that text can't tell: file(READ) gives CR LF line ends as LF, so a source
  # saved with CR LF line ends, as editors on Windows do, reads like one with LF.)
  file(SIZE "${_mp_file}" _mp_size)
  file(READ "${_mp_file}" _mp_hex HEX)
  string(REGEX MATCH "^(..)*00" _mp_nul "${_mp_hex}")
  if(NOT _mp_nul STREQUAL "")
    message(FATAL_ERROR "MakeProperties: ${_mp_file}: holds a NUL byte")
  endif()
  file(READ "${_mp_file}" _mp_text)
  string(LENGTH "${_mp_text}" _mp_len)

  if(_mp_size GREATER_EQUAL 3)
    file(READ "${_mp_file}" _mp_head LIMIT 3 HEX)
    if(_mp_head STREQUAL "efbbbf")
      message(FATAL_ERROR
        "MakeProperties: ${_mp_file}: starts with a byte-order mark")
    endif()
  endif()

  if(_mp_name STREQUAL "GLOBAL")
    set(_mp_prefix "")
  else()
    set(_mp_prefix "${_mp_name}:")
  endif()

  set(_mp_lineno 0)
  while(NOT _mp_len EQUAL 0)
    string(FIND "${_mp_text}" "\n" _mp_nl)
    if(_mp_nl EQUAL -1)
      set(_mp_line "${_mp_text}")
      set(_mp_text "")
    else()
      string(SUBSTRING "${_mp_text}" 0 ${_mp_nl} _mp_line)
      math(EXPR _mp_next "${_mp_nl} + 1")
      string(SUBSTRING "${_mp_text}" ${_mp_next} -1 _mp_text)
    endif()
    string(LENGTH "${_mp_text}" _mp_len)
    math(EXPR _mp_lineno "${_mp_lineno} + 1")

    string(LENGTH "${_mp_line}" _mp_linelen)
    if(_mp_linelen EQUAL 0)
      continue()
    endif()

    string(FIND "${_mp_line}" "\r" _mp_cr)
    if(NOT _mp_cr EQUAL -1)
      message(FATAL_ERROR
        "MakeProperties: ${_mp_file}:${_mp_lineno}: holds a CR inside the line")
    endif()

    string(FIND "${_mp_line}" "=" _mp_eq)
    if(_mp_eq EQUAL -1)
      message(FATAL_ERROR
        "MakeProperties: ${_mp_file}:${_mp_lineno}: no '=' in the line")
    endif()
    if(_mp_eq EQUAL 0)
      message(FATAL_ERROR
        "MakeProperties: ${_mp_file}:${_mp_lineno}: empty key")
    endif()
    if(_mp_prefix STREQUAL "")
      string(SUBSTRING "${_mp_line}" 0 ${_mp_eq} _mp_key)
      string(FIND "${_mp_key}" ":" _mp_colon)
      if(NOT _mp_colon EQUAL -1)
        message(FATAL_ERROR
          "MakeProperties: ${_mp_file}:${_mp_lineno}: a global key must not hold ':'")
      endif()
    endif()

    string(APPEND _mp_out "${_mp_prefix}${_mp_line}\r\n")
  endwhile()
endforeach()

file(WRITE "${OUT}" "${_mp_out}")

# Read the result back and compare byte for byte, so that a host that would
# translate line ends while writing cannot slip through.
string(HEX "${_mp_out}" _mp_expected)
file(READ "${OUT}" _mp_written HEX)
if(NOT _mp_written STREQUAL _mp_expected)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "MakeProperties: '${OUT}' was not written byte for byte")
endif()
