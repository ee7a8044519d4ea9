# SPDX-License-Identifier: GPL-3.0-or-later

# Run with cmake -P: writes the gettext template of the interface texts from their list.
#   -DTEXTS=<src/engine/l10n/Texts.def>  -DPOT=<the .pot to write>
# Each TARVO_TEXT(name, "English") becomes an entry with msgctxt "name" and msgid "English", each
# TARVO_PLURAL(name, "one", "many") one with a msgid_plural; a "//" comment right above an entry is
# a note for its translators. The strings are C literals, which a PO file writes the same way.
# Read as one text and split by hand: ";", "[" and "]" inside a line must not count as CMake's list syntax.
file(READ "${TEXTS}" content)
string(ASCII 26 semicolon)
string(ASCII 28 open_bracket)
string(ASCII 29 close_bracket)
string(REPLACE ";" "${semicolon}" content "${content}")
string(REPLACE "[" "${open_bracket}" content "${content}")
string(REPLACE "]" "${close_bracket}" content "${content}")
string(REPLACE "\n" ";" lines "${content}")
set(string_literal "\"([^\"\\\\]|\\\\.)*\"")
set(pot [=[# The interface texts of Tarvo, to translate into po/LANG.po.
# Made from src/engine/l10n/Texts.def by `cmake --build --preset ci --target tarvo_pot`; do not edit.
msgid ""
msgstr ""
"Project-Id-Version: Tarvo\n"
"PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n"
"Last-Translator: FULL NAME <EMAIL@ADDRESS>\n"
"Language-Team: LANGUAGE <LL@li.org>\n"
"Language: \n"
"MIME-Version: 1.0\n"
"Content-Type: text/plain; charset=UTF-8\n"
"Content-Transfer-Encoding: 8bit\n"
"Plural-Forms: nplurals=INTEGER; plural=EXPRESSION;\n"
]=])
set(notes "")
set(names "")
set(number 0)
foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(STRIP "${line}" line)
    if(line MATCHES "^//(.*)$")
        string(STRIP "${CMAKE_MATCH_1}" note)
        string(APPEND notes "#. ${note}\n")
    elseif(line STREQUAL "")
        set(notes "")
    elseif(line MATCHES "^TARVO_TEXT\\(([A-Za-z0-9_]+), (${string_literal})\\)$")
        set(name "${CMAKE_MATCH_1}")
        string(APPEND pot "\n${notes}msgctxt \"${name}\"\nmsgid ${CMAKE_MATCH_2}\nmsgstr \"\"\n")
        list(APPEND names "${name}")
        set(notes "")
    elseif(line MATCHES "^TARVO_PLURAL\\(([A-Za-z0-9_]+), (${string_literal}), (${string_literal})\\)$")
        set(name "${CMAKE_MATCH_1}")
        string(APPEND pot "\n${notes}msgctxt \"${name}\"\nmsgid ${CMAKE_MATCH_2}\nmsgid_plural ${CMAKE_MATCH_4}\n"
                          "msgstr[0] \"\"\nmsgstr[1] \"\"\n")
        list(APPEND names "${name}")
        set(notes "")
    else()
        message(FATAL_ERROR "${TEXTS}:${number}: not a comment, TARVO_TEXT or TARVO_PLURAL line:\n${line}")
    endif()
endforeach()
list(LENGTH names count)
list(REMOVE_DUPLICATES names)
list(LENGTH names unique)
if(NOT count EQUAL unique)
    message(FATAL_ERROR "${TEXTS}: a name is given twice")
endif()
string(REPLACE "${semicolon}" ";" pot "${pot}")
string(REPLACE "${open_bracket}" "[" pot "${pot}")
string(REPLACE "${close_bracket}" "]" pot "${pot}")
file(WRITE "${POT}" "${pot}")
