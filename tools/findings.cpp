// findings.cpp - rendering reals as each writer does, and printing findings.
#include "findings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace vrdtool {

std::string judgeReal(double value, WriteMode mode);

// As the exact writer writes it, so a real always shows its "." (5.0, not 5).
std::string shortest(double value) { return writtenReal(value, WriteMode{true}); }

std::string writtenReal(double value, WriteMode mode) {
    TextChannel *buffer = openTextBuffer();
    if (buffer == nullptr) return std::string();
    // A real entity is needed for the writer; a scratch store keeps the
    // caller's store unchanged.
    VRDstore *current = VRDget(nullptr);
    std::string text;
    if (VRDnew("vrd-real-text") != nullptr) {
        VRDentity e;
        if (VRDrealCreate(value, &e) == 0) {
            if (mode.exactReals)
                VRDfileWriteEntityExact(buffer, 0, e, 0);
            else
                VRDfileWriteEntity(buffer, 0, e, 0);
            text = textBufferData(buffer, nullptr);
        }
        VRDkill(nullptr, "vrd-real-text");
    }
    if (current != nullptr) VRDset(current, nullptr);
    closeTextFile(buffer);
    return text.empty() ? text : text.substr(1);
}

// Every distinct real is judged once: large files repeat their values.
const std::string &realLoss(double value, WriteMode mode) {
    static std::unordered_map<uint64_t, std::string> judged[2];
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    auto &cache = judged[mode.exactReals ? 1 : 0];
    auto it = cache.find(bits);
    if (it != cache.end()) return it->second;
    return cache.emplace(bits, judgeReal(value, mode)).first->second;
}

std::string judgeReal(double value, WriteMode mode) {
    std::string text = writtenReal(value, mode);
    std::string head = "real " + shortest(value) + " is written as " + text;
    if (text.find('.') == std::string::npos) {
        bool integer = !text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos;
        return head + " and reads back as " + (integer ? "an integer" : "an identifier");
    }
    double back = 0;
    if (std::sscanf(text.c_str(), "%lf", &back) != 1) return head + " and reads back as an identifier";
    if (std::isnan(value)) {
        if (std::isnan(back) && std::signbit(back) == std::signbit(value)) {
            uint64_t a, b;
            std::memcpy(&a, &value, 8);
            std::memcpy(&b, &back, 8);
            return a == b ? std::string() : std::string("a NaN's payload is not kept in text");
        }
    } else if (std::memcmp(&back, &value, sizeof back) == 0) {
        return std::string();
    }
    return head + " and reads back as " + shortest(back);
}

std::string showBytes(const std::string &text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c >= 0x80 && c != 0xFF) {
            out += static_cast<char>(c);  // shown as the terminal shows the encoding
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

size_t lossCount(const Findings &findings) {
    size_t n = 0;
    for (const Finding &f : findings) n += f.kind != FindingKind::Detail;
    return n;
}

void printFindings(FILE *out, const std::string &prefix, const Findings &findings, size_t limit) {
    size_t shown = 0, total = lossCount(findings);
    for (const Finding &f : findings) {
        if (f.kind == FindingKind::Detail) continue;
        if (shown == limit) {
            std::fprintf(out, "%s: ... and %zu more (vrd check lists them all)\n", prefix.c_str(), total - shown);
            return;
        }
        ++shown;
        if (f.where.empty())
            std::fprintf(out, "%s:%ld:%ld: warning: %s\n", prefix.c_str(), f.line, f.column, f.message.c_str());
        else
            std::fprintf(out, "%s: %s: warning: %s\n", prefix.c_str(), f.where.c_str(), f.message.c_str());
    }
}

}  // namespace vrdtool

namespace vrdtool {

bool acceptLosses(const char *command, const std::string &prefix, const Findings &findings, bool quiet, bool allowed) {
    size_t count = lossCount(findings);
    if (count == 0) return true;
    if (!quiet) printFindings(stderr, "vrd: " + prefix, findings, 10);
    if (allowed) return true;
    std::fprintf(stderr, "vrd %s: %zu value%s would not come back from the output; nothing written "
                 "(--allow-loss writes it anyway)\n", command, count, count == 1 ? "" : "s");
    return false;
}

}  // namespace vrdtool
