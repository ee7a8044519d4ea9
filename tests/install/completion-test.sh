#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion offers every command and option that `tarvo --help` names, and the values the
# usage lists for an option (zip|rar|7z|tar.gz), so that a new option cannot be left out of it.
# Usage: completion-test.sh TARVO COMPLETION_FILE
set -u
tarvo=$1
source "$2"
failures=0

offered() # the words offered for the command line given, the last one being completed
{
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tarvo
    echo " ${COMPREPLY[*]} "
}
expect() # WORD COMMAND-LINE...
{
    local word=$1
    shift
    if [[ $(offered "$@") != *" $word "* ]]; then
        echo "not offered: $word for: $*"
        failures=$((failures + 1))
    fi
}

expect extract tarvo ex
command=
while IFS= read -r line; do
    if [[ $line =~ ^\ \ tarvo\ ([^\ []+) ]]; then
        command=${BASH_REMATCH[1]}
        [[ $command == -* ]] && expect "$command" tarvo -- || expect "$command" tarvo ''
    fi
    [[ $line =~ ^\ +(tarvo|\[) ]] || continue
    for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$line"); do
        [[ $option == "$command" ]] && continue
        [[ $command == -* ]] && expect "$option" tarvo -- || expect "$option" tarvo "$command" --
    done
    # "--option a|b|c": each value offered after the option.
    while [[ $line =~ (--[a-z-]+)\ ([a-z0-9.]+(\|[a-z0-9.]+)+) ]]; do
        words=(tarvo "$command")
        [[ ${BASH_REMATCH[1]} == "$command" ]] || words+=("${BASH_REMATCH[1]}")
        for value in ${BASH_REMATCH[2]//|/ }; do
            expect "$value" "${words[@]}" ''
        done
        line=${line/"${BASH_REMATCH[0]}"/}
    done
done < <("$tarvo" --help | sed '/^$/q')

((failures == 0)) || exit 1
echo "every command, option and listed value of tarvo --help is offered"
