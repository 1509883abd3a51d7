// cmd_stats.cpp - `vrd stats`: the memory report of a store read from a text or binary file.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "textload.h"
#include "vrd/vrd_internal.h"

namespace {

void statsUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd stats FILE\n"
                 "\n"
                 "Reads FILE into a new store and prints the store's memory report.\n"
                 "A file that starts with the version word 6 (bytes 06 00 00 00) is\n"
                 "read as a binary file, any other as one form in the text notation.\n"
                 "\n"
                 "Options:\n"
                 "  --help   show this help and exit\n");
}

int firstCode = 0;
void VRD_CALL keepReport(const char *, int code) {
    if (firstCode == 0) firstCode = code;
}

// The version word tells the two kinds apart: no valid text starts with
// the byte 06, which is neither white space nor an opening parenthesis.
// 1 for a binary file, 0 for text, -1 when the file cannot be opened.
int isBinaryFile(const char *path) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return -1;
    unsigned char head[4] = {0, 0, 0, 0};
    size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return got == 4 && head[0] == 6 && head[1] == 0 && head[2] == 0 && head[3] == 0;
}

int runStats(int argc, char **argv) {
    const char *input = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            statsUsage(stdout);
            return 0;
        }
        if ((argv[i][0] == '-' && argv[i][1] != '\0') || input != nullptr) {
            std::fprintf(stderr, "vrd stats: unexpected argument '%s' (try 'vrd stats --help')\n", argv[i]);
            return 2;
        }
        input = argv[i];
    }
    if (input == nullptr) {
        statsUsage(stderr);
        return 2;
    }
    errno = 0;
    int binary = isBinaryFile(input);
    if (binary < 0) {
        std::fprintf(stderr, "vrd: %s: cannot open for reading: %s\n", input, std::strerror(errno));
        return 1;
    }
    if (VRDnew("stats") == nullptr) {
        std::fprintf(stderr, "vrd stats: cannot create a store\n");
        return 1;
    }
    if (binary != 0) {
        VRDerrorHandlerProc previous = VRDerrorHandler(keepReport);
        int32_t status = VRDfileReadBinary(input);
        VRDerrorHandler(previous);
        if (status != 0) {
            std::fprintf(stderr, "vrd: %s: %s\n", input, VRDerrorMessage(firstCode));
            return 1;
        }
    } else {
        VRDentity root;
        if (!vrdtool::loadTextFile(input, 0, &root)) return 1;
    }
    VRDstatistics();
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

VRD_COMMAND("stats", "stats FILE          print the memory report of a text or binary file", runStats);
