// text_support.h - reading texts into the store and describing trees, for the text suites.
#ifndef VRD_TESTS_TEXT_SUPPORT_H
#define VRD_TESTS_TEXT_SUPPORT_H

#include <string>

#include "support.h"
#include "vrd/textchan.h"

namespace vrdtest {

// A tree in a compact notation of its own, built only from the getters of
// the interface, so it checks the reader and the writer independently of
// their text: (KEY items), i:int, r:real, s:"text", id:text, pt(x,y).
inline std::string describe(VRDentity e) {
    char text[64];
    if (e.first & 0x80000000u) {
        std::string out = "(";
        const char *keyword = VRDformGetPtrKeyword(e);
        out += keyword != nullptr ? keyword : "?";
        uint32_t n = VRDformEntityCount(e);
        for (uint32_t i = 0; i < n; ++i) out += " " + describe(VRDformGetEntity(e, i));
        return out + ")";
    }
    if ((e.first & 0xC0000000u) == 0x40000000u) {
        VRDpoint p = VRDpointGetValue(e);
        std::snprintf(text, sizeof text, "pt(%d,%d)", p.x, p.y);
        return text;
    }
    switch (e.first & 0xF8000000u) {
    case 0x08000000u: case 0x10000000u: case 0x18000000u: return "i:" + std::to_string(VRDintGetValue(e));
    case 0x20000000u: return std::string("s:\"") + VRDstringGetPtrValue(e) + "\"";
    case 0x28000000u: return std::string("id:") + VRDstringGetPtrValue(e);
    case 0x30000000u: std::snprintf(text, sizeof text, "r:%.17g", VRDrealGetValue(e)); return text;
    default: return e.first == 0 && e.second == 0 ? "null" : "?";
    }
}

// Reads `text` through a string channel; the reader's result.
inline int32_t readText(const std::string &text, VRDentity *result, int32_t caseFlags = 0,
                        VRDentity target = VRDentity{0, 0}, int32_t position = -1) {
    TextChannel *c = openTextString(text.data(), text.size());
    if (c == nullptr) return -100;
    int32_t status = VRDfileReadEntity(c, target, position, caseFlags, result);
    closeTextFile(c);
    return status;
}

// Writes an entity into a buffer channel, with the standard or the exact-real writer; the text written.
inline std::string writeText(VRDentity e, int32_t caseFlags = 0, int32_t indent = 1, bool exact = false) {
    TextChannel *c = openTextBuffer();
    if (c == nullptr) return "<no buffer>";
    (exact ? VRDfileWriteEntityExact : VRDfileWriteEntity)(c, caseFlags, e, indent);
    size_t length = 0;
    const char *data = textBufferData(c, &length);
    std::string text(data, length);
    closeTextFile(c);
    return text;
}

}  // namespace vrdtest

#endif  // VRD_TESTS_TEXT_SUPPORT_H
