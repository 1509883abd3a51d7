// cmd_find.cpp - `vrd find`: prints the forms of a keyword below a file's root whose leading values match.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "textload.h"
#include "vrd/vrd_internal.h"

namespace {

constexpr int kMaxValues = 64;

void findUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd find FILE KEYWORD [VALUE...]\n"
                 "\n"
                 "Reads one form from FILE and prints, in the writer's layout, every form\n"
                 "of KEYWORD below it whose leading entities are the given VALUEs, depth\n"
                 "first in list order.  Forms inside a printed form are not searched.\n"
                 "\n"
                 "Values are written as in the text notation: integers (42, -7), reals\n"
                 "(a '.' anywhere: 2.5), strings in double quotes (quote them for the\n"
                 "shell: '\"text\"'), and identifiers; '_' matches any entity.\n"
                 "\n"
                 "Exits 0 when forms were printed, 1 when none matched (nothing is\n"
                 "printed), 2 on bad arguments or a file that cannot be read.\n"
                 "\n"
                 "Options:\n"
                 "  --help   show this help and exit\n");
}

// A value argument as a pattern entity.  `absent` is set when the value is
// not in the store at all, so no form can match; false on a bad value.
bool parseValue(const char *text, VRDentity *value, bool *absent) {
    size_t length = std::strlen(text);
    *value = VRDnullEntity();
    if (std::strcmp(text, "_") == 0) return true;
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        char inner[2000];
        if (length - 2 >= sizeof inner) return false;
        std::memcpy(inner, text + 1, length - 2);
        inner[length - 2] = '\0';
        *value = VRDstringFind(inner);
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

int runFind(int argc, char **argv) {
    const char *args[2 + kMaxValues];
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            findUsage(stdout);
            return 0;
        }
        if (count == 2 + kMaxValues) {
            std::fprintf(stderr, "vrd find: at most %d values\n", kMaxValues);
            return 2;
        }
        args[count++] = argv[i];
    }
    if (count < 2) {
        std::fprintf(stderr, "vrd find: missing %s (try 'vrd find --help')\n", count == 0 ? "FILE and KEYWORD" : "KEYWORD");
        return 2;
    }
    if (VRDnew("find") == nullptr) {
        std::fprintf(stderr, "vrd find: cannot create a store\n");
        return 2;
    }
    VRDentity root;
    if (!vrdtool::loadTextFile(args[0], 0, &root)) return 2;

    VRDentity pattern[kMaxValues];
    uint32_t n = static_cast<uint32_t>(count - 2);
    bool absent = false;
    for (uint32_t j = 0; j < n; ++j) {
        if (!parseValue(args[2 + j], &pattern[j], &absent)) {
            std::fprintf(stderr, "vrd find: bad value '%s'\n", args[2 + j]);
            return 2;
        }
    }
    uint32_t key = VRDkeyFind(args[1]);
    if (absent || key == VRD_NO_KEY) return 1;

    int printed = 0;
    VRDentity current = VRDnullEntity();
    uint32_t position = 0;
    for (;;) {
        VRDentity found = VRDformFindUnder(root, key, n, pattern, &current, &position);
        if (found.first == 0 && found.second == 0) break;
        if (!vrdtool::writeTextFile(nullptr, found, 0, true)) return 2;
        ++printed;
    }
    return printed > 0 ? 0 : 1;
}

}  // namespace

VRD_COMMAND("find", "find FILE KEYWORD [VALUE...]  print the forms of a keyword that match", runFind);
