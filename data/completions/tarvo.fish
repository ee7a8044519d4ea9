# SPDX-License-Identifier: GPL-3.0-or-later

# fish completion for tarvo: its commands, their options and the options' values, and archive files
# where a command takes archives.

# Folders, and archives by their extension in any letter case, with the parts of an archive cut into
# parts (x.z01, x.7z.001, x.zip.001, x.r00; x.part1.rar ends in .rar).
function __tarvo_archives
    set -l token (commandline -ct)
    for path in (complete -C "__fish_command_without_completions $token" | string replace -r '\t.*' '')
        if string match -qr '/$' -- $path
            or string match -qir '\.(zip|zipx|jar|rar|7z|tar|tgz|tbz2?|txz|tzst|gz|xz|bz2|zst|z\d\d|r\d\d|(7z|zip)\.\d{3})$' -- $path
            echo $path
        end
    end
end

# The archive is the first operand of add, delete and rename.
function __tarvo_wants_archive
    set -l words (commandline -opc)
    set -l operands 0
    set -l i 3
    while test $i -le (count $words)
        switch $words[$i]
            case --into --password-stdin
                test $words[$i] = --into; and set i (math $i + 1)
            case '-*'
            case '*'
                set operands (math $operands + 1)
        end
        set i (math $i + 1)
    end
    test $operands -eq 0
end

set -l commands compress extract list test add delete rename
set -l no_command "not __fish_seen_subcommand_from $commands; and not __fish_seen_argument -l finder"

complete -c tarvo -f
complete -c tarvo -n $no_command -a compress -d 'Pack items into one new archive'
complete -c tarvo -n $no_command -a extract -d 'Unpack archives, each into a new folder beside it'
complete -c tarvo -n $no_command -a list -d 'List the entries of an archive'
complete -c tarvo -n $no_command -a test -d 'Read archives through and say what is damaged'
complete -c tarvo -n $no_command -a add -d 'Add items to an archive'
complete -c tarvo -n $no_command -a delete -d 'Delete entries from an archive'
complete -c tarvo -n $no_command -a rename -d 'Rename an entry of an archive'
complete -c tarvo -n $no_command -s h -l help -d 'Print the usage'
complete -c tarvo -n $no_command -l version -d 'Print the version'
complete -c tarvo -n $no_command -l self-test -d 'Pack, unpack and list with every tool found'
complete -c tarvo -n "not __fish_seen_subcommand_from $commands" -l finder -x -a 'compress extract test' -d 'Hand a file manager request to the window'
# Without a command tarvo opens the files given in its window, as does --finder ACTION.
complete -c tarvo -n "not __fish_seen_subcommand_from $commands" -F

complete -c tarvo -n "__fish_seen_subcommand_from $commands" -l password-stdin -d 'Read the password from the first line of standard input'

set -l compress "__fish_seen_subcommand_from compress"
complete -c tarvo -n $compress -F
complete -c tarvo -n $compress -l format -x -a 'zip rar 7z tar.gz' -d 'Archive format'
complete -c tarvo -n $compress -l level -x -a 'fast normal maximum' -d 'Compression level'
complete -c tarvo -n $compress -l name -x -d 'Name of the new archive'
complete -c tarvo -n $compress -l zip-encryption -x -a 'aes256 zipcrypto' -d 'How a ZIP with a password is encrypted'
complete -c tarvo -n $compress -l keep-junk -d 'Keep housekeeping files such as .DS_Store'
complete -c tarvo -n $compress -l output-dir -x -a '(__fish_complete_directories)' -d 'Folder of the new archive'
complete -c tarvo -n $compress -l verify -d 'Test the new archive'
complete -c tarvo -n $compress -l volume-size -x -a '100M 700M 4G' -d 'Cut the archive into parts of this size'

set -l reads "__fish_seen_subcommand_from extract list test"
complete -c tarvo -n $reads -a '(__tarvo_archives)'
complete -c tarvo -n $reads -l encoding -x -d 'Read names that are not UTF-8 in this encoding' -a 'auto CP437 CP850 CP852 CP866
    Windows-1250 Windows-1251 Windows-1252 KOI8-R KOI8-U Shift-JIS EUC-JP GBK GB18030 Big5 EUC-KR ISO-8859-1
    ISO-8859-2 ISO-8859-5 ISO-8859-7 ISO-8859-15'
complete -c tarvo -n "__fish_seen_subcommand_from extract" -l entry -x -d 'Unpack only this entry, or those matching this pattern'
complete -c tarvo -n "__fish_seen_subcommand_from list" -l filter -x -d 'List only entries whose path holds or matches this'
complete -c tarvo -n "__fish_seen_subcommand_from list" -l json -d 'List as JSON with the safety report'

set -l edits "__fish_seen_subcommand_from add delete rename"
complete -c tarvo -n "$edits; and __tarvo_wants_archive" -a '(__tarvo_archives)'
complete -c tarvo -n "__fish_seen_subcommand_from add; and not __tarvo_wants_archive" -F
complete -c tarvo -n "__fish_seen_subcommand_from add" -l into -x -d 'Folder inside the archive'
complete -c tarvo -n "__fish_seen_subcommand_from add" -l replace -d 'Replace an entry of the same path'
complete -c tarvo -n "__fish_seen_subcommand_from add" -l keep-both -d 'Add the new one as "name 2.ext"'
complete -c tarvo -n "__fish_seen_subcommand_from add" -l keep-junk -d 'Keep housekeeping files such as .DS_Store'
