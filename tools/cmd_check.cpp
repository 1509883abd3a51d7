// cmd_check.cpp - `vrd check`: reads a text file and lists every error met, with its place.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "vrd/vrd_internal.h"

namespace {

const char *checkedPath = nullptr;
TextChannel *checkedChannel = nullptr;
int problems = 0;

// One line per report, at the place the reader had reached when it was made.
void VRD_CALL printProblem(const char *, int code) {
    long line = 0, column = 0;
    textChannelPosition(checkedChannel, &line, &column);
    std::printf("%s:%ld:%ld: %s\n", checkedPath, line, column, VRDerrorMessage(code));
    ++problems;
}

void checkUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd check FILE\n"
                 "\n"
                 "Reads one form from FILE and lists every error met, one line each:\n"
                 "FILE:LINE:COLUMN: MESSAGE.  Exits 0 when the file is clean, 1 when\n"
                 "errors were found, 2 when the file cannot be read.\n"
                 "\n"
                 "Options:\n"
                 "  --help   show this help and exit\n");
}

int runCheck(int argc, char **argv) {
    const char *input = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            checkUsage(stdout);
            return 0;
        }
        if ((argv[i][0] == '-' && argv[i][1] != '\0') || input != nullptr) {
            std::fprintf(stderr, "vrd check: unexpected argument '%s' (try 'vrd check --help')\n", argv[i]);
            return 2;
        }
        input = argv[i];
    }
    if (input == nullptr) {
        checkUsage(stderr);
        return 2;
    }
    if (VRDnew("check") == nullptr) {
        std::fprintf(stderr, "vrd check: cannot create a store\n");
        return 2;
    }
    errno = 0;
    checkedChannel = openTextFile(input, "r");
    if (checkedChannel == nullptr) {
        std::fprintf(stderr, "vrd: %s: cannot open for reading: %s\n", input,
                     errno != 0 ? std::strerror(errno) : "out of memory");
        return 2;
    }
    checkedPath = input;
    VRDentity root;
    VRDerrorHandlerProc previous = VRDerrorHandler(printProblem);
    int32_t status = VRDfileReadEntity(checkedChannel, VRDnullEntity(), -1, 0, &root);
    VRDerrorHandler(previous);
    closeTextFile(checkedChannel);
    checkedChannel = nullptr;
    if (status != 0 && problems == 0) {
        std::fprintf(stderr, "vrd: %s: the text could not be read\n", input);
        return 2;
    }
    return problems == 0 ? 0 : 1;
}

}  // namespace

VRD_COMMAND("check", "check FILE          list the errors of a text file with their places", runCheck);
