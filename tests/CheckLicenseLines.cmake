# SPDX-License-Identifier: GPL-3.0-or-later

# Run by CTest: every source file of the project says its license in its first lines (after a `#!`),
# so that a new file cannot arrive without it.
file(GLOB_RECURSE sources LIST_DIRECTORIES false
    "${SOURCE_DIR}/src/*" "${SOURCE_DIR}/tests/*" "${SOURCE_DIR}/bench/*" "${SOURCE_DIR}/fuzz/*"
    "${SOURCE_DIR}/data/tools/*" "${SOURCE_DIR}/data/completions/*" "${SOURCE_DIR}/scripts/*" "${SOURCE_DIR}/cmake/*"
    "${SOURCE_DIR}/.ci/*"
    "${SOURCE_DIR}/CMakeLists.txt" "${SOURCE_DIR}/data/CMakeLists.txt")
# Seeds are tool output, not code.
list(FILTER sources EXCLUDE REGEX "/fuzz/corpus/")
set(missing)
foreach(source IN LISTS sources)
    file(STRINGS "${source}" head LIMIT_COUNT 3)
    if(NOT head MATCHES "SPDX-License-Identifier: GPL-3\\.0-or-later")
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(APPEND missing "\n  ${name}")
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "No `SPDX-License-Identifier: GPL-3.0-or-later` line at the top of:${missing}")
endif()
