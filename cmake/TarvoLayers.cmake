# Keeps the layers of a source folder in order: the build of `target` fails when a file in one
# layer subfolder of `root` includes a header of a subfolder it may not reach.
#   tarvo_check_layers(target root "util" "l10n:util" "vocabulary:util,l10n" ...)
function(tarvo_check_layers target root)
    set(rules "")
    set(sources "")
    foreach(rule IN LISTS ARGN)
        list(APPEND rules "${rule}")
        string(REGEX REPLACE ":.*$" "" layer "${rule}")
        file(GLOB_RECURSE layer_sources CONFIGURE_DEPENDS "${root}/${layer}/*.h" "${root}/${layer}/*.cpp")
        list(APPEND sources ${layer_sources})
    endforeach()
    string(REPLACE ";" "|" rules "${rules}")
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
