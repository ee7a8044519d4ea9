# SPDX-License-Identifier: GPL-3.0-or-later

# Run by CTest: fails when the engine library refers to Qt or its test program loads a Qt library.
find_program(NM nm REQUIRED)
find_program(READELF readelf REQUIRED)

execute_process(COMMAND "${NM}" -u -C "${ENGINE_LIBRARY}" OUTPUT_VARIABLE undefined COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]*(Q[A-Z][A-Za-z]+::|qt_[a-z]|QString|QObject)[^\n]*" qt_symbols "${undefined}")
if(qt_symbols)
    message(FATAL_ERROR "The engine refers to Qt symbols:\n${qt_symbols}")
endif()

execute_process(COMMAND "${READELF}" -d "${ENGINE_TESTS}" OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
if(dynamic MATCHES "libQt|libQCoro")
    message(FATAL_ERROR "The engine's test program loads a Qt library:\n${dynamic}")
endif()
message(STATUS "The engine links no Qt.")
