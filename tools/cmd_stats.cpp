// cmd_stats.cpp - `vrd stats`: the memory report of a store read from a text or binary file.
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "textload.h"

namespace {

using namespace vrdtool;

const CommandInfo kCommand = {
    "stats", "FILE", 1, 1,
    "Reads FILE ('-' = standard input, a pipe will do) into a new store and\n"
    "prints the store's memory report.  A file that starts with the version\n"
    "word 6 (bytes 06 00 00 00) is read as a binary file, any other as one form\n"
    "in the text notation.\n",
    {},
};

// The library prints the report on standard output; it is caught in a
// temporary file so that it reaches the output like every other result,
// every write checked.
bool captureReport(std::string &report) {
    std::fflush(stdout);
    FILE *capture = std::tmpfile();
    if (capture == nullptr) return false;
    int saved = dup(1);
    bool ok = saved >= 0 && dup2(fileno(capture), 1) >= 0;
    if (ok) {
        VRDstatistics();
        ok = std::fflush(stdout) == 0;
        dup2(saved, 1);
    }
    if (saved >= 0) close(saved);
    char block[4096];
    std::rewind(capture);
    for (size_t got; ok && (got = std::fread(block, 1, sizeof block, capture)) > 0;) report.append(block, got);
    ok = ok && std::ferror(capture) == 0;
    std::fclose(capture);
    return ok;
}

int runStats(int argc, char **argv) {
    Args args;
    int status = parseArgs(kCommand, argc, argv, args);
    if (status >= 0) return status;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (!newStore("stats")) return kExitUsage;
    std::vector<VRDentity> roots;
    Findings losses;
    // The report is of the store as read; nothing is written back, so no loss scan.
    if (!loadInput(input, 0, WriteMode{true}, args.quiet(), roots, losses, &status, false)) return status;
    std::string report;
    if (!captureReport(report)) {
        std::fprintf(stderr, "vrd stats: cannot catch the report in a temporary file: %s\n", std::strerror(errno));
        return kExitUsage;
    }
    return writeOutput(args.output(), report) ? kExitOk : kExitUsage;
}

}  // namespace

VRD_COMMAND("stats", "stats FILE                print the memory report of a text or binary file", runStats);
