# SPDX-License-Identifier: GPL-3.0-or-later

# Run by CTest: every C++ file of the project must be formatted with the project's .clang-format.
file(GLOB_RECURSE sources
    "${SOURCE_DIR}/src/*.cpp" "${SOURCE_DIR}/src/*.h"
    "${SOURCE_DIR}/tests/*.cpp" "${SOURCE_DIR}/tests/*.h"
    "${SOURCE_DIR}/fuzz/*.cpp" "${SOURCE_DIR}/fuzz/*.h"
    "${SOURCE_DIR}/bench/*.cpp" "${SOURCE_DIR}/bench/*.h"
    "${SOURCE_DIR}/data/*.cpp")
execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror ${sources}
    WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status ERROR_VARIABLE complaints)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "Files are not formatted (run clang-format -i on them):\n${complaints}")
endif()
