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

const OptionInfo kCommon[] = {
    {"output", 'o', "FILE", "write to FILE instead of standard output ('-' = standard output);\n"
                            "the file is replaced only when complete"},
    {"quiet", 'q', nullptr, "print no warnings, only errors"},
    {"help", 'h', nullptr, "show this help and exit"},
    {"version", 0, nullptr, "print the version and exit"},
};

std::vector<OptionInfo> allOptions(const CommandInfo &command) {
    std::vector<OptionInfo> all(command.options);
    all.insert(all.end(), std::begin(kCommon), std::end(kCommon));
    return all;
}

void printHelp(const CommandInfo &command) {
    std::printf("usage: vrd %s [OPTIONS] %s\n\n%s\nOptions:\n", command.name, command.operands, command.description);
    for (const OptionInfo &o : allOptions(command)) {
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

int usageError(const CommandInfo &command, const std::string &message) {
    std::fprintf(stderr, "vrd %s: %s (try 'vrd %s --help')\n", command.name, message.c_str(), command.name);
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

int parseArgs(const CommandInfo &command, int argc, char **argv, Args &args) {
    const std::vector<OptionInfo> options = allOptions(command);
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
        const OptionInfo *found = nullptr;
        for (const OptionInfo &o : options)
            if (isLong ? name == o.name : (o.letter != 0 && name[0] == o.letter)) found = &o;
        if (found == nullptr) return usageError(command, std::string("unknown option '") + word + "'");
        std::string shown = isLong ? std::string("--") + found->name : std::string("-") + found->letter;
        if (found->value == nullptr && attached != nullptr)
            return usageError(command, "option '" + shown + "' takes no value");
        std::string value;
        if (found->value != nullptr) {
            if (attached != nullptr) {
                value = attached;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return usageError(command, "option '" + shown + "' needs a value (" + found->value + ")");
            }
        }
        if (!args.given.emplace(found->name, value).second)
            return usageError(command, "option '" + shown + "' given twice");
    }
    if (args.has("help")) {
        printHelp(command);
        return kExitOk;
    }
    if (args.has("version")) {
        std::printf("%s\n", versionLine().c_str());
        return kExitOk;
    }
    int count = static_cast<int>(args.operands.size());
    if (count < command.minOperands) return usageError(command, std::string("missing ") + command.operands);
    if (command.maxOperands >= 0 && count > command.maxOperands)
        return usageError(command, "unexpected operand '" + args.operands[command.maxOperands] + "'");
    return -1;
}

}  // namespace vrdtool
