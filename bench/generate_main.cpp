// generate_main.cpp - vrd-generate: writes a synthetic text of N forms to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generate.h"

int main(int argc, char **argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: vrd-generate [FORMS [DEPTH [SEED]]]\n"
                    "Writes one synthetic form tree of FORMS nested forms (default 10000),\n"
                    "at most DEPTH levels deep (default 6), in the vrd text notation.\n");
        return 0;
    }
    int forms = argc > 1 ? std::atoi(argv[1]) : 10000;
    int depth = argc > 2 ? std::atoi(argv[2]) : 6;
    unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1u;
    if (forms < 0 || depth < 1) {
        std::fprintf(stderr, "vrd-generate: FORMS must be 0 or more and DEPTH 1 or more\n");
        return 2;
    }
    std::string text = vrdbench::generateText(forms, depth, seed);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
