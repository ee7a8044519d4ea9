# SPDX-License-Identifier: GPL-3.0-or-later

# Keeps the layers of the source tree in order: the build of `target` fails when a file under `root`
# includes a header of a folder it may not reach, or lies in a folder no rule names.
#   tarvo_check_layers(target root "engine/util" "engine/l10n:engine/util" ...)
function(tarvo_check_layers target root)
    string(REPLACE ";" "|" rules "${ARGN}")
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${root}/*.h" "${root}/*.cpp" "${root}/*.c")
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}_layers.stamp")
    add_custom_command(OUTPUT "${stamp}"
        COMMAND "${CMAKE_COMMAND}" "-DROOT=${root}" "-DRULES=${rules}" "-DSTAMP=${stamp}"
                -P "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
        DEPENDS ${sources} "${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake"
        COMMENT "Checking the layers of ${target}"
        VERBATIM)
    add_custom_target(${target}_layers DEPENDS "${stamp}")
    add_dependencies(${target} ${target}_layers)
endfunction()
