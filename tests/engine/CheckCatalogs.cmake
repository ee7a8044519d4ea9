# SPDX-License-Identifier: GPL-3.0-or-later

cmake_minimum_required(VERSION 3.25)
# Run by CTest: the catalogs in po/ are whole and in step with the texts.
#   -DSOURCE_DIR=<the project>  -DMSGFMT=<msgfmt>  -DMSGCMP=<msgcmp>  -DWORK_DIR=<a scratch folder>
# Fails when po/tarvo.pot is not what src/engine/l10n/Texts.def makes, when a po/LANG.po is missing
# from po/LINGUAS (or the other way round), when msgfmt --check rejects a catalog (a placeholder of C
# syntax, a plural count against its Plural-Forms, a broken header), or when a catalog leaves a text
# of the template untranslated or fuzzy. The placeholders "%1" are compared by the engine's test.
include("${SOURCE_DIR}/cmake/TarvoCatalogs.cmake")
set(PROJECT_SOURCE_DIR "${SOURCE_DIR}")
set(problems "")

file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -DTEXTS=${SOURCE_DIR}/src/engine/l10n/Texts.def
                        -DPOT=${WORK_DIR}/tarvo.pot -P "${SOURCE_DIR}/cmake/TarvoPot.cmake"
    RESULT_VARIABLE status ERROR_VARIABLE output)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/tarvo.pot" "${SOURCE_DIR}/po/tarvo.pot"
    RESULT_VARIABLE differs)
if(NOT status EQUAL 0)
    string(APPEND problems "  the template cannot be made: ${output}\n")
elseif(differs)
    string(APPEND problems "  po/tarvo.pot is out of date (cmake --build --preset ci --target tarvo_pot)\n")
endif()

tarvo_read_linguas(languages)
file(GLOB files RELATIVE "${SOURCE_DIR}/po" "${SOURCE_DIR}/po/*.po")
foreach(file IN LISTS files)
    string(REGEX REPLACE "\\.po$" "" language "${file}")
    if(NOT language IN_LIST languages)
        string(APPEND problems "  po/${file} is not in po/LINGUAS\n")
    endif()
endforeach()

foreach(language IN LISTS languages)
    set(po "${SOURCE_DIR}/po/${language}.po")
    if(NOT EXISTS "${po}")
        string(APPEND problems "  po/LINGUAS lists ${language}, but po/${language}.po is missing\n")
        continue()
    endif()
    execute_process(COMMAND "${MSGFMT}" --check --statistics -o /dev/null "${po}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        string(APPEND problems "  msgfmt --check rejects po/${language}.po:\n${output}\n")
    elseif(output MATCHES "fuzzy|untranslated")
        string(APPEND problems "  po/${language}.po is not complete: ${output}")
    endif()
    # Every text of the template, translated (neither missing, nor untranslated, nor fuzzy).
    execute_process(COMMAND "${MSGCMP}" "${po}" "${SOURCE_DIR}/po/tarvo.pot"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        string(APPEND problems "  po/${language}.po lacks texts of po/tarvo.pot:\n${output}\n")
    endif()
endforeach()

if(problems)
    message(FATAL_ERROR "The catalogs are not in order:\n${problems}")
endif()
