// generate.cpp - the synthetic text generator shared by the benchmarks and vrd-generate.
#include "generate.h"

#include <cstdio>

namespace vrdbench {
namespace {

// A small linear congruential generator: fast and the same on every platform.
struct Random {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    int32_t below(int32_t n) { return static_cast<int32_t>((next() >> 8) % static_cast<uint32_t>(n)); }
};

const char *const kKeywords[] = {"machine", "part", "sensor", "reading", "route", "note"};

void appendValues(std::string &out, Random &r) {
    char buffer[64];
    int count = 2 + r.below(8);
    for (int i = 0; i < count; ++i) {
        switch (r.below(6)) {
        case 0: std::snprintf(buffer, sizeof buffer, " %d", r.below(100000) - 50000); break;
        case 1: std::snprintf(buffer, sizeof buffer, " %d", 200000000 + r.below(5000)); break;
        case 2: std::snprintf(buffer, sizeof buffer, " %d.%02d", r.below(1000), r.below(100)); break;
        case 3: std::snprintf(buffer, sizeof buffer, " \"label %d\"", r.below(2000)); break;
        case 4: std::snprintf(buffer, sizeof buffer, " id%d", r.below(3000)); break;
        default: std::snprintf(buffer, sizeof buffer, " (PT %d %d)", r.below(4000), r.below(4000)); break;
        }
        out += buffer;
    }
}
}  // namespace

std::string generateText(int forms, int depth, uint32_t seed) {
    Random r{seed};
    std::string out = "(plant";
    int open = 0;
    for (int i = 0; i < forms; ++i) {
        // Close some groups first, so the tree is both deep and wide.
        while (open > 0 && (open >= depth || r.below(3) == 0)) {
            out += ")";
            --open;
        }
        out += "\n(";
        out += kKeywords[r.below(6)];
        appendValues(out, r);
        ++open;
    }
    while (open-- > 0) out += ")";
    out += ")\n";
    return out;
}

}  // namespace vrdbench
