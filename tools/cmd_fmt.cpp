// cmd_fmt.cpp - `vrd fmt`: reads one form and writes it back in the writer's layout, refusing silent loss.
#include <cstdio>

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "textload.h"

namespace {

using namespace vrdtool;

const CommandInfo kCommand = {
    "fmt", "FILE", 1, 1,
    "Reads one form from FILE ('-' = standard input) and writes it back in the\n"
    "standard layout: every form on a line of its own, indented by its depth,\n"
    "ten values to a line.  Values that would not come back from the text\n"
    "written (see 'vrd check') are listed on stderr and nothing is written,\n"
    "unless --allow-loss; --exact-reals keeps every real.\n",
    {{"upper", 0, nullptr, "turn keywords and identifiers to upper case; point tags PT"},
     {"lower", 0, nullptr, "turn keywords and identifiers to lower case"},
     {"no-indent", 0, nullptr, "start every line at the left margin"},
     VRD_OPTION_EXACT_REALS,
     VRD_OPTION_ALLOW_LOSS},
};

int runFmt(int argc, char **argv) {
    Args args;
    int status = parseArgs(kCommand, argc, argv, args);
    if (status >= 0) return status;
    if (args.has("upper") && args.has("lower")) {
        std::fprintf(stderr, "vrd fmt: --upper and --lower exclude each other (try 'vrd fmt --help')\n");
        return kExitUsage;
    }
    int caseFlags = args.has("upper") ? 1 : args.has("lower") ? 2 : 0;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (input.binary) {
        std::fprintf(stderr, "vrd: %s: a binary file; 'vrd unpack' writes it as text\n", input.name.c_str());
        return kExitData;
    }
    if (!newStore("fmt")) return kExitUsage;
    WriteMode mode{args.has("exact-reals")};
    std::vector<VRDentity> roots;
    Findings losses;
    if (!loadInput(input, caseFlags, mode, args.quiet(), roots, losses, &status)) return status;
    if (!acceptLosses("fmt", input.name, losses, args.quiet(), args.has("allow-loss"))) return kExitData;
    std::string text;
    if (!writeTextTo(text, roots, caseFlags, !args.has("no-indent"), mode)) {
        std::fprintf(stderr, "vrd fmt: out of memory while writing the text\n");
        return kExitUsage;
    }
    return writeOutput(args.output(), text) ? kExitOk : kExitUsage;
}

}  // namespace

VRD_COMMAND("fmt", "fmt FILE [-o OUT]         rewrite a text file in the standard layout", runFmt);
