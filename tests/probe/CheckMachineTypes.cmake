# Checks that PurgeKit64.exe is a PE32+ x86-64 image and PurgeKit32.exe a PE32 i386 image.
function(check_image path expected_machine expected_magic)
  file(READ "${path}" dos HEX OFFSET 60 LIMIT 4)
  # e_lfanew, little-endian
  string(SUBSTRING "${dos}" 0 2 b0)
  string(SUBSTRING "${dos}" 2 2 b1)
  string(SUBSTRING "${dos}" 4 2 b2)
  string(SUBSTRING "${dos}" 6 2 b3)
  math(EXPR pe "0x${b3}${b2}${b1}${b0}")
  file(READ "${path}" signature HEX OFFSET ${pe} LIMIT 4)
  if(NOT signature STREQUAL "50450000")
    message(FATAL_ERROR "${path}: no PE signature")
  endif()
  math(EXPR machine_at "${pe} + 4")
  file(READ "${path}" machine HEX OFFSET ${machine_at} LIMIT 2)
  math(EXPR magic_at "${pe} + 24")
  file(READ "${path}" magic HEX OFFSET ${magic_at} LIMIT 2)
  if(NOT machine STREQUAL expected_machine OR NOT magic STREQUAL expected_magic)
    message(FATAL_ERROR "${path}: machine ${machine}, optional header magic ${magic}; expected "
                        "${expected_machine} and ${expected_magic}")
  endif()
  message(STATUS "${path}: machine ${machine}, magic ${magic}")
endfunction()

check_image("${EXE64}" "6486" "0b02")  # IMAGE_FILE_MACHINE_AMD64, PE32+
check_image("${EXE32}" "4c01" "0b01")  # IMAGE_FILE_MACHINE_I386, PE32
