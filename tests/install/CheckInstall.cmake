# SPDX-License-Identifier: GPL-3.0-or-later

# Run by CTest: `cmake --install` into a fresh prefix; then every icon size must be there at its size,
# and the installed desktop file and metainfo must pass their validators.
string(REPLACE "," ";" ICON_SIZES "${ICON_SIZES}")
file(REMOVE_RECURSE "${PREFIX}")

# cmake --install rewrites the build folder's install manifest; keep the one of a real install, which
# is how an installed Tarvo is removed again.
set(manifest "${BUILD_DIR}/install_manifest.txt")
if(EXISTS "${manifest}")
    file(READ "${manifest}" kept_manifest)
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(DEFINED kept_manifest)
    file(WRITE "${manifest}" "${kept_manifest}")
else()
    file(REMOVE "${manifest}")
endif()
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

set(desktop_file "${PREFIX}/share/applications/com.tarvo.app.desktop")
set(metainfo "${PREFIX}/share/metainfo/com.tarvo.app.metainfo.xml")
foreach(file IN ITEMS
        "${PREFIX}/bin/tarvo" "${PREFIX}/libexec/tarvo/tarvo-lister" "${desktop_file}" "${metainfo}"
        "${PREFIX}/share/icons/hicolor/scalable/apps/com.tarvo.app.svg"
        "${PREFIX}/share/dbus-1/interfaces/com.tarvo.app.xml"
        "${PREFIX}/share/dbus-1/interfaces/com.tarvo.finder.xml"
        "${PREFIX}/share/bash-completion/completions/tarvo" "${PREFIX}/share/zsh/site-functions/_tarvo"
        "${PREFIX}/share/fish/vendor_completions.d/tarvo.fish")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# A PNG's width and height are the two big-endian words after its signature and IHDR header.
foreach(size IN LISTS ICON_SIZES)
    set(png "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/com.tarvo.app.png")
    if(NOT EXISTS "${png}")
        message(FATAL_ERROR "not installed: ${png}")
    endif()
    file(READ "${png}" header OFFSET 16 LIMIT 8 HEX)
    string(SUBSTRING "${header}" 0 8 width)
    string(SUBSTRING "${header}" 8 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(FATAL_ERROR "${png} is ${width}x${height}, not ${size}x${size}")
    endif()
endforeach()

set(skipped)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${desktop_file}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # Only errors set the status; its warnings and hints (a menu entry without a main category lands
    # in a catch-all section) count as failures too.
    if(NOT status EQUAL 0 OR NOT output STREQUAL "")
        message(FATAL_ERROR "desktop-file-validate rejects ${desktop_file}:\n${output}")
    endif()
else()
    list(APPEND skipped desktop-file-validate)
endif()
if(APPSTREAMCLI)
    # The tree check validates the metainfo and also finds the desktop file its launchable names.
    execute_process(COMMAND "${APPSTREAMCLI}" validate-tree --no-net "${PREFIX}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "appstreamcli rejects the metadata installed in ${PREFIX}:\n${output}")
    endif()
    # Software centres show what the pedantic check asks for; it exits 0 on its own remarks, so any counts.
    execute_process(COMMAND "${APPSTREAMCLI}" validate --pedantic --no-net "${metainfo}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR output MATCHES "(^|\n)[EWIP]: ")
        message(FATAL_ERROR "appstreamcli validate --pedantic remarks on ${metainfo}:\n${output}")
    endif()
else()
    list(APPEND skipped appstreamcli)
endif()
if(skipped)
    list(JOIN skipped " and " missing)
    message("SKIPPED: the installed files are in place, but ${missing} (packages desktop-file-utils, appstream) are not installed to validate them")
endif()
