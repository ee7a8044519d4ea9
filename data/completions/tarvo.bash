# SPDX-License-Identifier: GPL-3.0-or-later

# bash completion for tarvo: its commands, their options and the options' values, and archive files
# where a command takes archives. Self-contained, so that it works with or without bash-completion.

# Archive names by their extension, in either letter case, with the parts of an archive cut into parts
# (x.z01, x.7z.001, x.zip.001, x.r00; x.part1.rar ends in .rar).
_tarvo_archive_extensions='zip|zipx|jar|rar|7z|tar|tgz|tbz|tbz2|txz|tzst|gz|xz|bz2|zst|z[0-9][0-9]|r[0-9][0-9]|7z.[0-9][0-9][0-9]|zip.[0-9][0-9][0-9]'

# Adds to COMPREPLY the folders and, by `kind`, the archives or all files that start with `cur`.
_tarvo_paths()
{
    local kind=$1 cur=$2 extglob_was=1 IFS=$'\n'
    shopt -q extglob || extglob_was=0
    shopt -s extglob
    compopt -o filenames 2>/dev/null
    case $kind in
        archives)
            COMPREPLY+=($(compgen -d -- "$cur"))
            COMPREPLY+=($(compgen -f -X "!*.@($_tarvo_archive_extensions|${_tarvo_archive_extensions^^})" -- "$cur"))
            ;;
        folders) COMPREPLY+=($(compgen -d -- "$cur")) ;;
        *) COMPREPLY+=($(compgen -f -- "$cur")) ;;
    esac
    ((extglob_was)) || shopt -u extglob
}

_tarvo()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits "--format=zip" at "=": complete the value after it as after "--format zip".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version --self-test --finder' -- "$cur"))
        else
            COMPREPLY=($(compgen -W 'compress extract list test add delete rename' -- "$cur"))
            # Without a command tarvo opens the files given in its window.
            ((${#COMPREPLY[@]})) || _tarvo_paths files "$cur"
        fi
        return
    fi

    local command=${COMP_WORDS[1]}
    case $prev in
        --format) COMPREPLY=($(compgen -W 'zip rar 7z tar.gz' -- "$cur")); return ;;
        --level) COMPREPLY=($(compgen -W 'fast normal maximum' -- "$cur")); return ;;
        --zip-encryption) COMPREPLY=($(compgen -W 'aes256 zipcrypto' -- "$cur")); return ;;
        --volume-size) COMPREPLY=($(compgen -W '100M 700M 4G' -- "$cur")); return ;;
        --encoding)
            COMPREPLY=($(compgen -W 'auto CP437 CP850 CP852 CP866 Windows-1250 Windows-1251 Windows-1252
                KOI8-R KOI8-U Shift-JIS EUC-JP GBK GB18030 Big5 EUC-KR ISO-8859-1 ISO-8859-2 ISO-8859-5
                ISO-8859-7 ISO-8859-15' -- "$cur"))
            return
            ;;
        --output-dir) _tarvo_paths folders "$cur"; return ;;
        --name | --entry | --filter | --into) return ;; # free text, or a path inside the archive
    esac

    if [[ $command == --finder ]]; then
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W 'compress extract test' -- "$cur"))
        else
            _tarvo_paths files "$cur"
        fi
        return
    fi

    local options
    case $command in
        compress) options='--format --level --name --password-stdin --zip-encryption --keep-junk --output-dir
                           --verify --volume-size' ;;
        extract) options='--password-stdin --encoding --entry' ;;
        list) options='--password-stdin --encoding --filter --json' ;;
        test) options='--password-stdin --encoding' ;;
        add) options='--into --replace --keep-both --keep-junk --password-stdin' ;;
        delete | rename) options='--password-stdin' ;;
        *) return ;;
    esac

    # How many operands come before this word: options and their values are no operands.
    local i word operands=0 only_operands=0
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((only_operands)); then
            ((operands++))
        elif [[ $word == -- ]]; then
            only_operands=1
        elif [[ $word == = ]]; then
            ((i++)) # the value of "--option=value"
        elif [[ $word == --@(format|level|name|zip-encryption|output-dir|volume-size|encoding|entry|filter|into) ]]; then
            [[ ${COMP_WORDS[i + 1]} == = ]] || ((i++))
        elif [[ $word != -* ]]; then
            ((operands++))
        fi
    done

    if [[ $cur == -* ]] && ((!only_operands)); then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
        compress) _tarvo_paths files "$cur" ;;
        extract | list | test) _tarvo_paths archives "$cur" ;;
        # The archive first; then add takes items, delete and rename paths inside the archive.
        add) if ((operands == 0)); then _tarvo_paths archives "$cur"; else _tarvo_paths files "$cur"; fi ;;
        delete | rename) ((operands == 0)) && _tarvo_paths archives "$cur" ;;
    esac
}

complete -F _tarvo tarvo
