// cmd_fmt.cpp - `vrd fmt`: reads one form and writes it back in the writer's layout.
#include <cstdio>
#include <cstring>

#include "command.h"
#include "textload.h"

namespace {

void fmtUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd fmt FILE [-o OUT] [--upper|--lower] [--no-indent]\n"
                 "\n"
                 "Reads one form from FILE and writes it back in the standard layout:\n"
                 "every form on a line of its own, indented by its depth, ten values\n"
                 "to a line.  The text goes to standard output unless -o is given.\n"
                 "\n"
                 "Options:\n"
                 "  -o OUT       write to OUT instead of standard output ('-' = standard output)\n"
                 "  --upper      turn keywords and identifiers to upper case; point tags PT\n"
                 "  --lower      turn keywords and identifiers to lower case\n"
                 "  --no-indent  start every line at the left margin\n"
                 "  --help       show this help and exit\n");
}

int runFmt(int argc, char **argv) {
    const char *input = nullptr;
    const char *output = nullptr;
    int caseFlags = 0;
    bool indent = true;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            fmtUsage(stdout);
            return 0;
        }
        if (std::strcmp(a, "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(a, "--upper") == 0 || std::strcmp(a, "--lower") == 0) {
            int flags = a[2] == 'u' ? 1 : 2;
            if (caseFlags != 0 && caseFlags != flags) {
                std::fprintf(stderr, "vrd fmt: --upper and --lower exclude each other\n");
                return 2;
            }
            caseFlags = flags;
        } else if (std::strcmp(a, "--no-indent") == 0) {
            indent = false;
        } else if (a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "vrd fmt: unknown option '%s' (try 'vrd fmt --help')\n", a);
            return 2;
        } else if (input == nullptr) {
            input = a;
        } else {
            std::fprintf(stderr, "vrd fmt: more than one input file (try 'vrd fmt --help')\n");
            return 2;
        }
    }
    if (input == nullptr) {
        fmtUsage(stderr);
        return 2;
    }
    if (VRDnew("fmt") == nullptr) {
        std::fprintf(stderr, "vrd fmt: cannot create a store\n");
        return 1;
    }
    VRDentity root;
    if (!vrdtool::loadTextFile(input, caseFlags, &root)) return 1;
    return vrdtool::writeTextFile(output, root, caseFlags, indent) ? 0 : 1;
}

}  // namespace

VRD_COMMAND("fmt", "fmt FILE [-o OUT]   rewrite a text file in the standard layout", runFmt);
