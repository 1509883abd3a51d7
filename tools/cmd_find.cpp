// cmd_find.cpp - `vrd find`: prints the forms of a keyword in a file's tree whose leading values match.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "args.h"
#include "command.h"
#include "fileio.h"
#include "jsonmap.h"
#include "storewalk.h"
#include "textload.h"

namespace {

using namespace vrdtool;

constexpr uint32_t kMaxValues = 64;

const CommandInfo kCommand = {
    "find", "FILE KEYWORD [VALUE...]", 2, 2 + kMaxValues,
    "Reads one form from FILE ('-' = standard input) and prints, in the\n"
    "writer's layout, every form of KEYWORD in its tree (the root form\n"
    "included) whose leading entities are the given VALUEs, depth first in\n"
    "list order.  Forms inside a printed form are not searched.\n"
    "\n"
    "Values are written as in the text notation: integers (42, -7), reals\n"
    "(a '.' anywhere: 2.5), strings in double quotes (quote them for the\n"
    "shell: '\"text\"'), and identifiers; '_' matches any entity.  A word that\n"
    "starts with '-' and a digit is a value; '--' ends the options.\n"
    "When nothing matches, says so on stderr (unless -q) and exits 1.\n",
    {{"json", 0, nullptr, "print each match as one line of JSON (see 'vrd to-json --help')"},
     VRD_OPTION_EXACT_REALS,
     VRD_OPTION_ALLOW_LOSS},
};

// A value argument as a pattern entity.  `absent` is set when the value is
// not in the store at all, so no form can match; false on a bad value.
bool parseValue(const char *text, VRDentity *value, bool *absent) {
    size_t length = std::strlen(text);
    *value = VRDnullEntity();
    if (std::strcmp(text, "_") == 0) return true;
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        std::string inner(text + 1, length - 2);
        *value = VRDstringFind(inner.c_str());
        *absent = *absent || value->first == 0;
        return true;
    }
    if (std::strchr(text, '.') != nullptr) {
        double real;
        if (std::sscanf(text, "%lf", &real) == 1) return VRDrealCreate(real, value) == 0;
    } else {
        // An optional sign and digits only: an integer, as the reader takes it.
        const char *p = text + (text[0] == '-' || text[0] == '+');
        // A lone sign is the integer 0; a value beyond 32 bits is refused.
        int64_t magnitude = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            if ((magnitude = magnitude * 10 + (*p - '0')) > INT32_MAX + 1LL) return false;
        if (*p == '\0') {
            int64_t v = text[0] == '-' ? -magnitude : magnitude;
            if (v > INT32_MAX) return false;
            return VRDintCreate(static_cast<int32_t>(v), value) == 0;
        }
    }
    *value = VRDidFind(text);
    *absent = *absent || value->first == 0;
    return true;
}

// Whether a form is of `key` and its first n entities match the pattern
// (an entity without a kind tag matches anything): the test the search
// makes below the root, made here for the root itself.
bool matches(VRDentity form, uint32_t key, uint32_t n, const VRDentity *pattern) {
    if ((form.first & 0x7FFFFFFFu) != key || VRDformIsKilled(form) || VRDformEntityCount(form) < n) return false;
    for (uint32_t i = 0; i < n; ++i) {
        if ((pattern[i].first & 0xF8000000u) == 0 && (pattern[i].first & 0xC0000000u) == 0) continue;
        VRDentity e = VRDformGetEntity(form, i);
        if (e.first != pattern[i].first || e.second != pattern[i].second) return false;
    }
    return true;
}

std::string joined(const std::vector<std::string> &words, size_t from) {
    std::string out;
    for (size_t i = from; i < words.size(); ++i) out += (out.empty() ? "" : " ") + words[i];
    return out;
}

int runFind(int argc, char **argv) {
    Args args;
    int status = parseArgs(kCommand, argc, argv, args);
    if (status >= 0) return status;
    Input input;
    if (!openInput(args.operands[0].c_str(), input)) return kExitUsage;
    if (!newStore("find")) return kExitUsage;
    WriteMode mode{args.has("exact-reals")};
    std::vector<VRDentity> roots;
    Findings losses;
    if (!loadInput(input, 0, mode, args.quiet(), roots, losses, &status)) return status;
    losses = readLossesOf(losses);

    const std::vector<std::string> &words = args.operands;
    VRDentity pattern[kMaxValues];
    uint32_t n = static_cast<uint32_t>(words.size() - 2);
    bool absent = false;
    for (uint32_t j = 0; j < n; ++j) {
        if (!parseValue(words[2 + j].c_str(), &pattern[j], &absent)) {
            std::fprintf(stderr, "vrd find: bad value '%s': an integer must fit 32 bits (try 'vrd find --help')\n",
                         words[2 + j].c_str());
            return kExitUsage;
        }
    }
    uint32_t key = VRDkeyFind(words[1].c_str());
    std::vector<VRDentity> found;
    if (!absent && key != VRD_NO_KEY) {
        for (VRDentity root : roots) {
            if (matches(root, key, n, pattern)) {
                found.push_back(root);
                continue;
            }
            VRDentity current = VRDnullEntity();
            uint32_t position = 0;
            for (;;) {
                VRDentity f = VRDformFindUnder(root, key, n, pattern, &current, &position);
                if (f.first == 0 && f.second == 0) break;
                found.push_back(f);
            }
        }
    }
    if (found.empty()) {
        if (!args.quiet())
            std::fprintf(stderr, "vrd find: no form %s in %s\n", joined(words, 1).c_str(), input.name.c_str());
        return kExitData;
    }
    std::string out;
    int m = 0;
    for (VRDentity f : found) {
        std::string where = "match " + std::to_string(++m);
        if (args.has("json")) {
            appendJson(f, false, where, out, losses);
            continue;
        }
        walkTree(f, mode, where, losses);
        std::string text;
        if (!writeTextTo(text, {f}, 0, true, mode)) {
            std::fprintf(stderr, "vrd find: out of memory while writing the text\n");
            return kExitUsage;
        }
        out += text.substr(1);  // the writer opens each form with a line feed
    }
    if (!acceptLosses("find", input.name, losses, args.quiet(), args.has("allow-loss"))) return kExitData;
    return writeOutput(args.output(), out) ? kExitOk : kExitUsage;
}

}  // namespace

VRD_COMMAND("find", "find FILE KEYWORD [VALUE...]  print the forms of a keyword that match", runFind);
