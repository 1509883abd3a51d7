// args.cpp - the shared argument parser: GNU-style options anywhere among the operands.
#include "args.h"

#include <cstdio>
#include <cstring>

#include "vrd/vrd_internal.h"

#ifndef VRD_PROJECT_VERSION
#error "VRD_PROJECT_VERSION comes from the build (the project's version in CMake)"
#endif

namespace vrdtool {

const char kExitStatusHelp[] =
    "Exit status: 0 success, 1 the data has problems (or no match), 2 usage or I/O error.\n";

namespace {

const OptionSpec kCommon[] = {
    {"output", 'o', "FILE", "write to FILE instead of standard output ('-' = standard output);\n"
                            "the file is replaced only when complete"},
    {"quiet", 'q', nullptr, "print no warnings, only errors"},
    {"help", 'h', nullptr, "show this help and exit"},
    {"version", 0, nullptr, "print the version and exit"},
};

std::vector<OptionSpec> allOptions(const CommandSpec &spec) {
    std::vector<OptionSpec> all(spec.options);
    all.insert(all.end(), std::begin(kCommon), std::end(kCommon));
    return all;
}

void printHelp(const CommandSpec &spec) {
    std::printf("usage: vrd %s [OPTIONS] %s\n\n%s\nOptions:\n", spec.name, spec.operands, spec.description);
    for (const OptionSpec &o : allOptions(spec)) {
        std::string head = o.letter != 0 ? std::string("-") + o.letter + ", --" + o.name : std::string("    --") + o.name;
        if (o.value != nullptr) head += std::string(" ") + o.value;
        std::printf("  %-22s", head.c_str());
        for (const char *p = o.help; *p != '\0'; ++p) {
            std::putchar(*p);
            if (*p == '\n') std::printf("  %-22s", "");
        }
        std::putchar('\n');
    }
    std::printf("\n%s", kExitStatusHelp);
}

int usageError(const CommandSpec &spec, const std::string &message) {
    std::fprintf(stderr, "vrd %s: %s (try 'vrd %s --help')\n", spec.name, message.c_str(), spec.name);
    return kExitUsage;
}

// A word that starts with '-' but is an operand: "-" itself (standard
// input or output) and negative numbers ("-4", "-.5"), which find takes.
bool isOperand(const char *word) {
    if (word[0] != '-' || word[1] == '\0') return true;
    return (word[1] >= '0' && word[1] <= '9') || word[1] == '.';
}

}  // namespace

const char *Args::value(const char *name) const {
    auto it = given.find(name);
    return it == given.end() ? nullptr : it->second.c_str();
}

std::string versionLine() {
    return std::string("vrd ") + VRD_PROJECT_VERSION + " (library version text " + VRDversion() + ")";
}

int parseArgs(const CommandSpec &spec, int argc, char **argv, Args &args) {
    const std::vector<OptionSpec> options = allOptions(spec);
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (optionsEnded || isOperand(word)) {
            args.operands.emplace_back(word);
            continue;
        }
        if (std::strcmp(word, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        // --name, --name=value, -x, -xVALUE
        bool isLong = word[1] == '-';
        std::string name = isLong ? std::string(word + 2) : std::string(1, word[1]);
        const char *attached = nullptr;
        if (isLong) {
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                attached = word + 2 + eq + 1;
                name.resize(eq);
            }
        } else if (word[2] != '\0') {
            attached = word + 2;
        }
        const OptionSpec *found = nullptr;
        for (const OptionSpec &o : options)
            if (isLong ? name == o.name : (o.letter != 0 && name[0] == o.letter)) found = &o;
        if (found == nullptr) return usageError(spec, std::string("unknown option '") + word + "'");
        std::string shown = isLong ? std::string("--") + found->name : std::string("-") + found->letter;
        if (found->value == nullptr && attached != nullptr)
            return usageError(spec, "option '" + shown + "' takes no value");
        std::string value;
        if (found->value != nullptr) {
            if (attached != nullptr) {
                value = attached;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return usageError(spec, "option '" + shown + "' needs a value (" + found->value + ")");
            }
        }
        if (!args.given.emplace(found->name, value).second)
            return usageError(spec, "option '" + shown + "' given twice");
    }
    if (args.has("help")) {
        printHelp(spec);
        return kExitOk;
    }
    if (args.has("version")) {
        std::printf("%s\n", versionLine().c_str());
        return kExitOk;
    }
    int count = static_cast<int>(args.operands.size());
    if (count < spec.minOperands) return usageError(spec, std::string("missing ") + spec.operands);
    if (spec.maxOperands >= 0 && count > spec.maxOperands)
        return usageError(spec, "unexpected operand '" + args.operands[spec.maxOperands] + "'");
    return -1;
}

}  // namespace vrdtool
