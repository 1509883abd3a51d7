// cmd_pack.cpp - `vrd pack` and `vrd unpack`: text notation to binary file and back.
#include <cstdio>

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "storewalk.h"
#include "textload.h"
#include "vrd/vrd_internal.h"

namespace {

using namespace vrdtool;

const CommandInfo kPackCommand = {
    "pack", "IN", 1, 1,
    "Reads one form tree from the text file IN ('-' = standard input) and writes\n"
    "the whole store it makes as a version-6 binary file to the output (-o;\n"
    "standard output when it is not a terminal).  The binary file keeps every\n"
    "value exactly; values that reading the text already changes (see 'vrd\n"
    "check') are listed and nothing is written, unless --allow-loss.  An\n"
    "existing output file is replaced only when the new one is complete.\n",
    {VRD_OPTION_ALLOW_LOSS},
};

const CommandInfo kUnpackCommand = {
    "unpack", "IN", 1, 1,
    "Reads the binary file IN ('-' = standard input, a pipe will do) and writes,\n"
    "in the text notation, every live form without an owner, in key and form\n"
    "index order.  Values that would not come back from the text are listed\n"
    "(with their path in the JSON mapping, see 'vrd to-json --help') and nothing\n"
    "is written, unless --allow-loss; --exact-reals keeps every real.\n",
    {VRD_OPTION_EXACT_REALS, VRD_OPTION_ALLOW_LOSS},
};

using WriterProc = int32_t(VRD_CALL *)(TextChannel *, int32_t, VRDentity, int32_t);

int runPack(int argc, char **argv) {
    Args args;
    int status = parseArgs(kPackCommand, argc, argv, args);
    if (status >= 0) return status;
    if (outputIsTerminal(args.output())) {
        std::fprintf(stderr, "vrd pack: a binary file is not written to a terminal; give -o FILE (try 'vrd pack --help')\n");
        return kExitUsage;
    }
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (input.binary) {
        std::fprintf(stderr, "vrd: %s: already a binary file\n", input.name.c_str());
        return kExitData;
    }
    if (!newStore("pack")) return kExitUsage;
    std::vector<VRDentity> roots;
    Findings losses;
    // The binary file keeps every value the store holds: only reading loses.
    if (!loadInput(input, 0, WriteMode{true}, args.quiet(), roots, losses, &status)) return status;
    if (!acceptLosses("pack", input.name, readLossesOf(losses), args.quiet(), args.has("allow-loss"))) return kExitData;
    return writeBinaryOutput(args.output()) ? kExitOk : kExitUsage;
}

// Writes every live form without an owner, in key and index order, into one
// buffer; each in the writer's layout.  False when the buffer could not
// take the last line end (printTextFileChar gives 1 on success, 0 on failure).
bool writeRoots(TextChannel *channel, WriterProc write) {
    vrdtool::forEachRoot([&](VRDentity root) { write(channel, 0, root, 1); });
    return printTextFileChar(channel, '\n') != 0;
}

int runUnpack(int argc, char **argv) {
    Args args;
    int status = parseArgs(kUnpackCommand, argc, argv, args);
    if (status >= 0) return status;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (!input.binary) {
        std::fprintf(stderr, "vrd: %s: not a binary file (it does not start with the version word 6)\n",
                     input.name.c_str());
        return kExitData;
    }
    if (!newStore("unpack")) return kExitUsage;
    if (!loadBinary(input)) return kExitData;
    WriteMode mode{args.has("exact-reals")};
    Findings losses;
    walkRoots(mode, losses);
    if (!acceptLosses("unpack", input.name, losses, args.quiet(), args.has("allow-loss"))) return kExitData;
    TextChannel *buffer = openTextBuffer();
    bool ok = buffer != nullptr && writeRoots(buffer, mode.exactReals ? VRDfileWriteEntityExact : VRDfileWriteEntity);
    std::string text;
    if (ok) {
        size_t length = 0;
        const char *data = textBufferData(buffer, &length);
        text.assign(data, length);
    }
    if (buffer != nullptr && closeTextFile(buffer) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "vrd unpack: out of memory while writing the text\n");
        return kExitUsage;
    }
    return writeOutput(args.output(), text) ? kExitOk : kExitUsage;
}

}  // namespace

VRD_COMMAND("pack", "pack IN [-o OUT]          store a text file's form tree as a binary file", runPack);
VRD_COMMAND("unpack", "unpack IN [-o OUT]        write a binary file's root forms as text", runUnpack);
