# Tests of the texts that are not gtest programs.

# The generator of the text resources, on small source folders (runs on the build host).
add_test(NAME MakeProperties.SourcesToResourceFormat
         COMMAND "${CMAKE_COMMAND}" "-DMAKE_PROPERTIES=${PROJECT_SOURCE_DIR}/cmake/MakeProperties.cmake"
                 "-DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/scratch-make-properties"
                 -P "${CMAKE_CURRENT_SOURCE_DIR}/scripts/MakePropertiesTest.cmake")

# The language a whole process chooses, by its display language and by the `language`
# option. Each case is a CTest test of its own because Wine takes a process's display
# language from LANG and LC_ALL of the Unix environment it starts with.
#
# Fields: test name | locale | display language Wine reports | expected choice | options
set(language_choice_cases
  "display_pt_BR|pt_BR.UTF-8|pt-BR|pt-BR|"
  "display_es_MX|es_MX.UTF-8|es-MX|es-MX|"
  "display_fr_CA|fr_CA.UTF-8|fr-CA|fr-CA|"
  "display_zh_HK|zh_HK.UTF-8|zh-HK|zh-HK|"
  "display_zh_TW|zh_TW.UTF-8|zh-TW|zh-TW|"
  "display_zh_CN_gets_zh|zh_CN.UTF-8|zh-CN|zh|"
  "display_de_AT_gets_de|de_AT.UTF-8|de-AT|de|"
  "display_en_US_gets_en|en_US.UTF-8|en-US|en|"
  "display_sv_FI_gets_sv|sv_FI.UTF-8|sv-FI|sv|"
  "display_nb_NO_gets_no_by_country|nb_NO.UTF-8|nb-NO|no|"
  "display_th_TH_falls_back_to_en|th_TH.UTF-8|th-TH|en|"
  "option_over_display|de_DE.UTF-8|de-DE|fr|--language fr"
  "option_short_regional|th_TH.UTF-8|th-TH|pt-BR|-l pt-BR"
  "option_slash|de_DE.UTF-8|de-DE|zh-TW|/language=zh-TW"
  "option_wrong_case_display_decides|de_DE.UTF-8|de-DE|de|--language EN"
  "option_unknown_display_decides|pt_BR.UTF-8|pt-BR|pt-BR|--language xx"
  "option_GLOBAL_is_no_language|th_TH.UTF-8|th-TH|en|--language GLOBAL")

# Wine reads every Unix file name in the character set of LC_CTYPE: under a locale the
# machine lacks that is ASCII, and a checkout below a folder with other letters cannot be
# reached. So the locales the cases name are made by the build, with localedef, in a folder
# of its own that the cases are given as LOCPATH: real UTF-8 locales, whatever the machine
# has installed.
find_program(PURGEKIT_LOCALEDEF localedef REQUIRED)
set(test_locales "${CMAKE_CURRENT_BINARY_DIR}/locales")
set(test_locale_files "")
foreach(case IN LISTS language_choice_cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 1 locale)
  if(NOT "${test_locales}/${locale}/LC_CTYPE" IN_LIST test_locale_files)
    string(REGEX REPLACE "\\..*" "" source "${locale}")
    string(REGEX REPLACE ".*\\." "" charset "${locale}")
    add_custom_command(
      OUTPUT "${test_locales}/${locale}/LC_CTYPE"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${test_locales}"
      COMMAND "${PURGEKIT_LOCALEDEF}" -i "${source}" -f "${charset}" "${test_locales}/${locale}"
      COMMENT "Making the locale ${locale} for the language tests"
      VERBATIM)
    list(APPEND test_locale_files "${test_locales}/${locale}/LC_CTYPE")
  endif()
endforeach()
add_custom_target(test_locales ALL DEPENDS ${test_locale_files})

string(REPLACE "/" "\\" probe_texts "Z:${PURGEKIT_OUTPUT_DIR}/PurgeKit64.exe")
foreach(case IN LISTS language_choice_cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 locale)
  list(GET fields 2 display)
  list(GET fields 3 expected)
  list(GET fields 4 options)
  separate_arguments(options UNIX_COMMAND "${options}")
  add_test(NAME LanguageChoice.${name}
           COMMAND language_probe --texts "${probe_texts}" --expect ${expected}
                   --expect-display ${display} ${options})
  set_tests_properties(LanguageChoice.${name} PROPERTIES
    ENVIRONMENT "LANG=${locale};LC_ALL=${locale};LC_MESSAGES=${locale};LOCPATH=${test_locales}"
    TIMEOUT 60)
endforeach()
