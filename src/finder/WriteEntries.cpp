// SPDX-License-Identifier: GPL-3.0-or-later

// Writes the file-manager entries that `cmake --install` installs: WriteEntries OUTPUT_DIR HELPER.
#include "FileManagerEntries.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: tarvo_finder_write_entries OUTPUT_DIR HELPER\n", stderr);
        return 2;
    }
    try {
        tarvo::finder::installForUser(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvo_finder_write_entries: %s\n", error.what());
        return 1;
    }
    return 0;
}
