# SPDX-License-Identifier: GPL-3.0-or-later

# The catalogs' languages: po/LINGUAS, one name a line (gettext's list: "#" starts a comment, names may
# also be separated by spaces). Editing it reconfigures the build.
function(tarvo_read_linguas out)
    set(linguas_file "${PROJECT_SOURCE_DIR}/po/LINGUAS")
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${linguas_file}")
    endif()
    file(STRINGS "${linguas_file}" lines)
    set(languages "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "#.*$" "" line "${line}")
        string(REGEX MATCHALL "[^ \t]+" names "${line}")
        list(APPEND languages ${names})
    endforeach()
    set(${out} ${languages} PARENT_SCOPE)
endfunction()
