# SPDX-License-Identifier: GPL-3.0-or-later

cmake_minimum_required(VERSION 3.25)
# Run by CTest: NEWS, the AppStream releases and debian/changelog name the same versions with the same
# dates, the newest first and equal to the project's version.
file(STRINGS "${SOURCE_DIR}/NEWS" news REGEX "^Tarvo [0-9.]+, [0-9-]+$")
list(TRANSFORM news REPLACE "^Tarvo ([0-9.]+), ([0-9-]+)$" "\\1 \\2")

file(READ "${SOURCE_DIR}/data/com.tarvo.app.metainfo.xml.in" metainfo)
string(REGEX MATCHALL "<release version=\"[^\"]+\" date=\"[^\"]+\"" releases "${metainfo}")
list(TRANSFORM releases REPLACE "<release version=\"([^\"]+)\" date=\"([^\"]+)\"" "\\1 \\2")

# A package version's upstream part, with the date of its entry; the revisions of one version count once.
file(STRINGS "${SOURCE_DIR}/debian/changelog" lines REGEX "^(tarvo \\(| -- )")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(changelog)
foreach(line IN LISTS lines)
    if(line MATCHES "^tarvo \\(([^-)]+)")
        set(version "${CMAKE_MATCH_1}")
    elseif(line MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) " AND NOT version IN_LIST seen)
        list(FIND months "${CMAKE_MATCH_2}" month)
        math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
        string(LENGTH "${month}" digits)
        if(digits EQUAL 1)
            set(month "0${month}")
        endif()
        list(APPEND changelog "${version} ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
        list(APPEND seen "${version}")
    endif()
endforeach()

list(GET news 0 newest)
if(NOT news OR NOT news STREQUAL releases OR NOT news STREQUAL changelog OR NOT newest MATCHES "^${VERSION} ")
    message(FATAL_ERROR "Releases out of step (version, date; newest first):\n  NEWS: ${news}\n"
                        "  metainfo: ${releases}\n  debian/changelog: ${changelog}\n  project version: ${VERSION}")
endif()
