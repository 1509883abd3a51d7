// strcmp.cpp - the two orders on texts: byte order and natural order (digit runs by value).
#include "pools/pools.h"

namespace {
int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// Only ASCII digits; bytes 0x80 and above are negative as signed 8 bits.
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The entity's text for a comparison; one without text compares as the
// empty text.  Reports -7 under "VRDstringGetPtrValue" like the getter.
const char *comparedText(const VRDentity *e) {
    const char *text = VRDstringGetPtrValue(*e);
    return text == nullptr ? "" : text;
}

// Orders two tokens; 0 means equal so far.
int compareTokens(CmpToken a, CmpToken b) {
    if (a.kind == b.kind) return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
    // Numbers before characters, and the end before both.
    if (a.kind == kCmpEnd) return -1;
    if (b.kind == kCmpEnd) return 1;
    return a.kind == kCmpNumber ? -1 : 1;
}
}  // namespace

extern "C" {

CmpToken getCmpToken(const char **position) {
    const char *p = *position;
    if (*p == '\0') return CmpToken{kCmpEnd, 0};
    if (!isDigit(*p)) {
        *position = p + 1;
        return CmpToken{kCmpCharacter, static_cast<signed char>(*p)};
    }
    uint32_t value = 0;  // wraps modulo 2^32 on runs past 4,294,967,295
    for (; isDigit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    *position = p;
    return CmpToken{kCmpNumber, static_cast<int32_t>(value)};
}

int VRD_CALL naturalCmp(const char *a, const char *b) {
    const char *pa = a;
    const char *pb = b;
    for (;;) {
        CmpToken ta = getCmpToken(&pa);
        CmpToken tb = getCmpToken(&pb);
        if (ta.kind == kCmpEnd && tb.kind == kCmpEnd) break;
        int order = compareTokens(ta, tb);
        if (order != 0) return order;
    }
    // Equal token by token ('a01' and 'a1'): the bytes decide.
    return sign(std::strcmp(a, b));
}

int VRD_CALL VRDstrCmp(const VRDentity *a, const VRDentity *b) {
    if (vrd::needStore("VRDstrCmp") == nullptr) return 0;
    // Every text is stored once, so equal entities have equal texts.
    if (vrd::sameEntity(*a, *b)) return 0;
    const char *ta = comparedText(a);
    const char *tb = comparedText(b);
    return sign(std::strcmp(ta, tb));
}

int VRD_CALL VRDstrCmpNatural(const VRDentity *a, const VRDentity *b) {
    if (vrd::needStore("VRDstrCmpNatural") == nullptr) return 0;
    if (a->first == b->first) return 0;
    const char *ta = comparedText(a);
    const char *tb = comparedText(b);
    return naturalCmp(ta, tb);
}

}  // extern "C"
