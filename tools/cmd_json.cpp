// cmd_json.cpp - `vrd to-json` and `vrd from-json`: form trees meet every JSON tool.
#include <cstdio>
#include <sstream>

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "jsonmap.h"
#include "storewalk.h"
#include "textload.h"

namespace {

using namespace vrdtool;

std::string describe(const char *what) { return std::string(what) + "\n" + kMappingHelp; }

const std::string kToJsonText = describe(
    "Reads FILE ('-' = standard input): one form in the text notation, or a\n"
    "binary file, and writes each root form as one JSON value on a line of its\n"
    "own (a text has one root; a binary file may have several).  Every value\n"
    "is kept; what JSON cannot carry, and what reading the text already lost\n"
    "(see 'vrd check'), is listed and nothing is written, unless --allow-loss.\n");

const std::string kFromJsonText = describe(
    "Reads one or more JSON values from FILE ('-' = standard input), each a\n"
    "form, and writes them as root forms in the text notation, every real with\n"
    "the digits that read it back the same (or, with --binary, as a binary\n"
    "file).  A value vrd cannot hold is refused with its jq path, and nothing is\n"
    "written; values the text would not give back are listed and nothing is\n"
    "written, unless --allow-loss.\n");

const CommandInfo kToJson = {
    "to-json", "FILE", 1, 1, kToJsonText.c_str(),
    {{"pretty", 0, nullptr, "start each nested form on a line of its own, indented"}, VRD_OPTION_ALLOW_LOSS},
};

const CommandInfo kFromJson = {
    "from-json", "FILE", 1, 1, kFromJsonText.c_str(),
    {{"binary", 0, nullptr, "write a binary file (every value kept) instead of text"}, VRD_OPTION_ALLOW_LOSS},
};

int runToJson(int argc, char **argv) {
    Args args;
    int status = parseArgs(kToJson, argc, argv, args);
    if (status >= 0) return status;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (!newStore("to-json")) return kExitUsage;
    std::vector<VRDentity> roots;
    Findings losses;
    if (!loadInput(input, 0, WriteMode{true}, args.quiet(), roots, losses, &status)) return status;
    losses = readLossesOf(losses);
    std::string out;
    int n = 0;
    for (VRDentity root : roots)
        appendJson(root, args.has("pretty"), roots.size() == 1 ? "" : "root " + std::to_string(++n), out, losses);
    if (!acceptLosses("to-json", input.name, losses, args.quiet(), args.has("allow-loss"))) return kExitData;
    return writeOutput(args.output(), out) ? kExitOk : kExitUsage;
}

// Every JSON value of the input, in order; false after one line on stderr.
bool parseValues(const Input &input, std::vector<nlohmann::json> &values) {
    std::istringstream in(input.text);
    try {
        while ((in >> std::ws).peek() != std::char_traits<char>::eof()) {
            values.emplace_back();
            in >> values.back();
        }
    } catch (const nlohmann::json::exception &e) {
        std::fprintf(stderr, "vrd: %s: not JSON: %s\n", input.name.c_str(), e.what());
        return false;
    }
    if (values.empty()) std::fprintf(stderr, "vrd: %s: no JSON value\n", input.name.c_str());
    return !values.empty();
}

int runFromJson(int argc, char **argv) {
    Args args;
    int status = parseArgs(kFromJson, argc, argv, args);
    if (status >= 0) return status;
    bool binary = args.has("binary");
    if (binary && outputIsTerminal(args.output())) {
        std::fprintf(stderr, "vrd from-json: a binary file is not written to a terminal; give -o FILE\n");
        return kExitUsage;
    }
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    std::vector<nlohmann::json> values;
    if (input.binary || !parseValues(input, values)) {
        if (input.binary) std::fprintf(stderr, "vrd: %s: not JSON: a vrd binary file\n", input.name.c_str());
        return kExitData;
    }
    if (!newStore("from-json")) return kExitUsage;
    std::vector<VRDentity> roots(values.size());
    Findings losses;
    for (size_t i = 0; i < values.size(); ++i) {
        std::string where = values.size() == 1 ? "" : "value " + std::to_string(i + 1) + " ";
        std::string error;
        if (!buildFromJson(values[i], &roots[i], error)) {
            std::fprintf(stderr, "vrd: %s: %s%s\n", input.name.c_str(), where.c_str(), error.c_str());
            values.clear();  // the parsed values are no longer needed
            return kExitData;
        }
        values[i] = nullptr;
        if (!binary) walkTree(roots[i], WriteMode{true}, values.size() == 1 ? "" : "value " + std::to_string(i + 1), losses);
    }
    if (binary) return writeBinaryOutput(args.output()) ? kExitOk : kExitUsage;
    if (!acceptLosses("from-json", input.name, losses, args.quiet(), args.has("allow-loss"))) return kExitData;
    std::string text;
    if (!writeTextTo(text, roots, 0, true, WriteMode{true})) {
        std::fprintf(stderr, "vrd from-json: out of memory while writing the text\n");
        return kExitUsage;
    }
    return writeOutput(args.output(), text) ? kExitOk : kExitUsage;
}

}  // namespace

VRD_COMMAND("to-json", "to-json FILE              write a text or binary file's forms as JSON", runToJson);
VRD_COMMAND("from-json", "from-json FILE            write JSON values as forms (text, or --binary)", runFromJson);
