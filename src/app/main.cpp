#include "Version.h"

#include <cstdio>
#include <cstring>

namespace {

void printUsage(std::FILE* stream)
{
    std::fputs("Usage: tarvo [--help | --version]\n"
               "\n"
               "Tarvo packs files into ZIP, RAR, 7Z or tar.gz archives and unpacks them,\n"
               "using the system's archive tools.\n"
               "\n"
               "  --help     show this text\n"
               "  --version  show the version\n",
               stream);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarvo %s\n", tarvo::engine::kVersion);
        return 0;
    }
    std::fprintf(stderr, "tarvo: unknown option %s\n\n", argv[1]);
    printUsage(stderr);
    return 2;
}
