# SPDX-License-Identifier: GPL-3.0-or-later

# Run by CTest: the layer check passes a tree in order and fails one where a low layer reaches up,
# a folder no rule names, or a header of a folder of which only another header may be reached.
set(root "${WORK_DIR}/layers")
file(REMOVE_RECURSE "${root}")
file(WRITE "${root}/low/a/A.h" "#pragma once\n")
file(WRITE "${root}/low/b/B.h" "#include \"low/a/A.h\"\n")
file(WRITE "${root}/high/High.cpp" "#include \"High.h\"\n#include \"low/b/B.h\"\n#include \"mid/Open.h\"\n")
file(WRITE "${root}/mid/Open.h" "#pragma once\n")
file(WRITE "${root}/mid/Closed.h" "#pragma once\n")
set(check "${CMAKE_COMMAND}" -DROOT=${root} "-DRULES=low/a|low/b:low/a|mid|high:low,mid/Open.h" -DSTAMP=${root}/stamp
          -P "${SOURCE_DIR}/cmake/CheckLayers.cmake")
function(expect_refused what pattern)
    execute_process(COMMAND ${check} RESULT_VARIABLE status ERROR_VARIABLE output)
    if(status EQUAL 0 OR NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "${what} was let through:\n${output}")
    endif()
endfunction()

execute_process(COMMAND ${check} RESULT_VARIABLE status ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "A tree in order was refused:\n${output}")
endif()
file(APPEND "${root}/low/a/A.h" "#include \"low/b/B.h\"\n")
expect_refused("A low layer including a sibling above it" "low/a/A.h: #include \"low/b/B.h\"")
file(WRITE "${root}/low/a/A.h" "#pragma once\n")
file(APPEND "${root}/high/High.cpp" "#include \"mid/Closed.h\"\n")
expect_refused("A header beside the one header a layer may reach" "high/High.cpp: #include \"mid/Closed.h\"")
file(WRITE "${root}/high/High.cpp" "#include \"low/b/B.h\"\n")
file(WRITE "${root}/stray/Stray.cpp" "\n")
expect_refused("A folder no rule names" "stray/Stray.cpp: in no layer")
