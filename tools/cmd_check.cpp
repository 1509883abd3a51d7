// cmd_check.cpp - `vrd check`: every reader error and every value that would not come back, with its place.
#include <algorithm>
#include <cstdio>

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "storewalk.h"
#include "textload.h"

namespace {

using namespace vrdtool;

const CommandInfo kCommand = {
    "check", "FILE", 1, 1,
    "Reads FILE ('-' = standard input): one form in the text notation, or a\n"
    "binary file.  Lists every error the reader meets, naming the rule or limit\n"
    "broken, and, as warnings, every value that would not survive writing the\n"
    "text and reading it back: reals that %g cannot give back, integers beyond\n"
    "32 bits, bytes the notation cannot carry, strings holding '\"' or over\n"
    "1998 bytes, tokens over 1999 bytes, nesting deeper than 49 levels.\n"
    "One line each: FILE:LINE:COLUMN: MESSAGE for a text, FILE: PATH: MESSAGE\n"
    "for a binary file (PATH as in the JSON mapping of 'vrd to-json --help').\n"
    "Exits 0 when the file is clean, 1 when anything was listed.\n",
    {VRD_OPTION_EXACT_REALS},
};

std::string line(const std::string &name, long l, long c, const std::string &message) {
    return name + ":" + std::to_string(l) + ":" + std::to_string(c) + ": " + message + "\n";
}

// A text's reports and warnings, in the order of their places.
std::string checkText(const Input &input, WriteMode mode, size_t *problems, bool *readable) {
    LoadedText loaded = readText(input, 0, mode, true);
    struct Placed {
        long line, column;
        std::string text;
    };
    std::vector<Placed> all;
    for (const ReaderReport &r : loaded.reports) all.push_back({r.line, r.column, line(input.name, r.line, r.column, r.message)});
    for (const Finding &f : loaded.losses)
        all.push_back({f.line, f.column, line(input.name, f.line, f.column, "warning: " + f.message)});
    std::stable_sort(all.begin(), all.end(), [](const Placed &a, const Placed &b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    std::string out;
    for (const Placed &p : all) out += p.text;
    *problems = all.size();
    *readable = loaded.built || !loaded.reports.empty();
    return out;
}

std::string checkBinary(const Input &input, WriteMode mode, size_t *problems) {
    Findings found;
    walkRoots(mode, found);
    std::string out;
    for (const Finding &f : found) out += input.name + ": " + f.where + ": warning: " + f.message + "\n";
    *problems = found.size();
    return out;
}

int runCheck(int argc, char **argv) {
    Args args;
    int status = parseArgs(kCommand, argc, argv, args);
    if (status >= 0) return status;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (!newStore("check")) return kExitUsage;
    WriteMode mode{args.has("exact-reals")};
    size_t problems = 0;
    std::string report;
    if (input.binary) {
        if (!loadBinary(input)) return kExitData;
        report = checkBinary(input, mode, &problems);
    } else {
        bool readable = true;
        report = checkText(input, mode, &problems, &readable);
        if (!readable) {
            std::fprintf(stderr, "vrd: %s: the text could not be read into the store (out of memory?)\n", input.name.c_str());
            return kExitUsage;
        }
    }
    if (!args.quiet() && !writeOutput(args.output(), report)) return kExitUsage;
    return problems == 0 ? kExitOk : kExitData;
}

}  // namespace

VRD_COMMAND("check", "check FILE                list reader errors and values that would not come back", runCheck);
