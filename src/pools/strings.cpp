// strings.cpp - the string area: every distinct text once, in one block, under a 1024-bucket index.
#include "pools/stringindex.h"

namespace {
constexpr int32_t kTextStep = 2030;        // smallest growth of the text block
constexpr int64_t kAreaLimit = vrd::kPayloadMask;  // capacities at or above this are refused
using vrd::kEntryOverhead;
using vrd::kLinkBytes;

// Makes the 1024 empty bucket heads on first use.
bool ensureIndex(vrd::StringArea &s) {
    if (s.stringIndex != nullptr) return true;
    if (!vrd::growBlock(s.stringIndex, vrd::kStringIndexBytes)) return false;
    for (int b = 0; b < vrd::kStringBuckets; ++b) s.stringIndex[b] = -1;
    return true;
}

// True when `p` points into the text block, whose bytes a growth may move.
bool insideBlock(const vrd::StringArea &s, const char *p) {
    if (s.stringText == nullptr) return false;
    auto begin = reinterpret_cast<uintptr_t>(s.stringText);
    auto at = reinterpret_cast<uintptr_t>(p);
    return at >= begin && at <= begin + static_cast<uintptr_t>(s.stringCapacity);
}

// Grows the block so an entry of `need` bytes fits strictly below the
// capacity; a text inside the block is followed to the block's new address.
// Reports under "VRDstringCreate"; on failure the area is unchanged.
bool makeRoom(vrd::StringArea &s, int64_t need, const char *&text) {
    if (s.stringUsed + need < s.stringCapacity) return true;
    int64_t capacity = s.stringCapacity + (need > kTextStep ? need : kTextStep);
    // Below 2^27 - 1 every entry, which starts below the capacity, fits the
    // entity's 27-bit offset.
    if (capacity >= kAreaLimit) {
        vrd::report("VRDstringCreate", VRD_E_TOOMANYSTRINGS);
        return false;
    }
    bool inside = insideBlock(s, text);
    ptrdiff_t offset = inside ? text - s.stringText : 0;
    if (!vrd::growBlock(s.stringText, static_cast<size_t>(capacity) + 1)) {
        vrd::report("VRDstringCreate", VRD_E_NOMEM);
        return false;
    }
    if (inside) text = s.stringText + offset;
    s.stringCapacity = static_cast<int32_t>(capacity);
    return true;
}

// Appends a new entry for `text` at stringUsed and links it where the
// chain walk puts it (or lets the link wait, stringindex.h).  Room must
// have been made.
int32_t appendEntry(vrd::StringArea &s, const char *text, size_t length, const vrd::StringPlace &where) {
    int32_t offset = s.stringUsed;
    std::memmove(s.stringText + offset + kLinkBytes, text, length + 1);
    s.stringUsed = offset + static_cast<int32_t>(length) + kEntryOverhead;
    vrd::linkEntry(s, where, offset);
    return offset;
}

// The text of a string or identifier entity, or null when it has none.
// A zero tag is never an error.  With check mode on an offset outside the
// used area is reported under `routine`; with it off such an offset is
// refused silently, since reading it would leave the block.
const char *textOf(const vrd::StringArea &s, VRDentity e, const char *routine) {
    if (!vrd::hasTag(e)) return nullptr;
    uint32_t offset = vrd::payloadOf(e);
    if (offset >= static_cast<uint32_t>(s.stringUsed) && vrd::checkMode) vrd::report(routine, VRD_E_BADSTRING);
    return vrd::textAtOffset(s, offset);
}

bool isWordSpace(char c) { return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\v'; }

// A chunk being narrowed: pointers into one text, begin <= cur <= end.
struct Chunk {
    const char *text;  // the text's start; positions are measured from here
    const char *cur;
    const char *end;
};

// Empties the chunk at its old end.
void collapse(int32_t *position, int32_t *length) {
    *position += *length;
    *length = 0;
}

// Character units: `first` bytes skipped, then at most `count` bytes.
void narrowChars(int32_t *position, int32_t *length, int32_t first, int32_t count) {
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first >= *length) return collapse(position, length);
    int32_t rest = *length - first;
    *position += first;
    *length = count < rest ? count : rest;
}

void skipWord(Chunk &c) {
    while (c.cur < c.end && !isWordSpace(*c.cur)) ++c.cur;
}
void skipSpace(Chunk &c) {
    while (c.cur < c.end && isWordSpace(*c.cur)) ++c.cur;
}

// Word units: the chunk becomes `count` words from word `first` (counted
// from 1), with the whitespace that follows the last of them.
void narrowWords(Chunk c, int32_t *position, int32_t *length, int32_t first, int32_t count) {
    skipSpace(c);
    if (c.cur == c.end) return collapse(position, length);
    for (int32_t i = 1; i < first; ++i) {
        skipWord(c);
        if (c.cur == c.end) return collapse(position, length);
        skipSpace(c);
        if (c.cur == c.end) return collapse(position, length);
    }
    const char *start = c.cur;
    *position = static_cast<int32_t>(start - c.text);
    *length = static_cast<int32_t>(c.end - start);
    if (count <= 0) {
        *length = 0;
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        skipWord(c);
        if (c.cur == c.end) return;
        skipSpace(c);
        if (c.cur == c.end) return;
    }
    *length = static_cast<int32_t>(c.cur - start);
}

// Line or field units separated by `sep`: `count` units from unit `first`
// (counted from 1), without the separator that ends the last one.
void narrowSeparated(Chunk c, int32_t *position, int32_t *length, char sep, int32_t first, int32_t count) {
    for (int32_t i = 1; i < first; ++i) {
        const char *found = std::strchr(c.cur, sep);
        if (found == nullptr || found + 1 >= c.end) return collapse(position, length);
        c.cur = found + 1;
    }
    const char *start = c.cur;
    *position = static_cast<int32_t>(start - c.text);
    *length = static_cast<int32_t>(c.end - start);
    if (count <= 0) {
        *length = 0;
        return;
    }
    const char *last = nullptr;
    for (int32_t i = 0; i < count; ++i) {
        const char *found = std::strchr(c.cur, sep);
        if (found == nullptr || found >= c.end) return;
        last = found;
        c.cur = found + 1;
    }
    *length = static_cast<int32_t>(last - start);
}

// Scratch block on the memory layer, released on every path out.
struct Scratch {
    char *bytes = nullptr;
    ~Scratch() { freeMem(bytes); }
};
}  // namespace

extern "C" {

uint32_t VRD_CALL stringHash(const char *text) {
    // Bytes count as signed, so 0x80..0xFF weigh -128..-1; the binary file
    // stores the resulting buckets, so this formula cannot change.
    int32_t h = 0;
    for (const char *p = text; *p != '\0'; ++p) h = (h * 26 - 32 + static_cast<signed char>(*p)) & 1023;
    return static_cast<uint32_t>(h);
}

int32_t VRD_CALL VRDstringCreate(const char *text, VRDentity *result) {
    VRDstore *store = vrd::needStore("VRDstringCreate");
    if (store == nullptr) return 1;
    vrd::StringArea &s = vrd::strings(store);
    if (!ensureIndex(s)) {
        vrd::report("VRDstringCreate", VRD_E_NOMEM);
        return 1;
    }
    size_t length = std::strlen(text);
    vrd::StringPlace where = vrd::findStringPlace(s, text, length);
    if (where.found < 0) {
        if (!makeRoom(s, static_cast<int64_t>(length) + kEntryOverhead, text)) return 1;
        where.found = appendEntry(s, text, length, where);
    }
    *result = vrd::makeEntity(vrd::kTagString | static_cast<uint32_t>(where.found), 0);
    return 0;
}

int32_t VRD_CALL VRDidCreate(const char *text, VRDentity *result) {
    if (vrd::needStore("VRDidCreate") == nullptr) return 1;
    VRDentity made;
    if (VRDstringCreate(text, &made) != 0) return 1;
    *result = vrd::makeEntity(vrd::payloadOf(made) | vrd::kTagId, 0);
    return 0;
}

void VRD_CALL VRDstringGetValue(VRDentity e, char *buffer, int32_t size) {
    if (size < 1) return;  // no room even for the terminating zero
    buffer[0] = '\0';
    VRDstore *store = vrd::needStore("VRDstringGetValue");
    if (store == nullptr) return;
    vrd::StringArea &s = vrd::strings(store);
    const char *text = textOf(s, e, "VRDstringGetValue");
    if (text == nullptr) return;
    std::strncpy(buffer, text, static_cast<size_t>(size - 1));
    buffer[size - 1] = '\0';
}

const char *VRD_CALL VRDstringGetPtrValue(VRDentity e) {
    VRDstore *store = vrd::needStore("VRDstringGetPtrValue");
    if (store == nullptr) return nullptr;
    vrd::StringArea &s = vrd::strings(store);
    return textOf(s, e, "VRDstringGetPtrValue");
}

int32_t VRD_CALL VRDstringLength(VRDentity e) {
    VRDstore *store = vrd::needStore("VRDstringLength");
    if (store == nullptr) return 0;
    vrd::StringArea &s = vrd::strings(store);
    const char *text = textOf(s, e, "VRDstringLength");
    return text == nullptr ? 0 : static_cast<int32_t>(std::strlen(text));
}

void VRD_CALL VRDstringGetChunk(VRDentity e, int32_t start, int32_t count, char *buffer, int32_t size) {
    if (size < 1) return;
    buffer[0] = '\0';
    VRDstore *store = vrd::needStore("VRDstringGetChunk");
    if (store == nullptr) return;
    vrd::StringArea &s = vrd::strings(store);
    const char *text = textOf(s, e, "VRDstringGetChunk");
    if (text == nullptr) return;
    // A start outside the text or a negative count is the caller's fault:
    // the buffer stays empty rather than anything outside the text being read.
    if (start < 0 || count < 0 || static_cast<size_t>(start) > std::strlen(text)) return;
    int32_t n = count < size - 1 ? count : size - 1;
    std::strncpy(buffer, text + start, static_cast<size_t>(n));
    buffer[n] = '\0';
}

int32_t VRD_CALL VRDstringChunkCreate(VRDentity e, int32_t start, int32_t count, const char *replacement,
                                      VRDentity *result) {
    VRDstore *store = vrd::needStore("VRDstringChunkCreate");
    if (store == nullptr) return 1;
    vrd::StringArea &s = vrd::strings(store);
    uint32_t offset = vrd::payloadOf(e);
    bool readable = offset < static_cast<uint32_t>(s.stringUsed);
    if (vrd::checkMode && (!vrd::hasTag(e) || !readable)) {
        vrd::report("VRDstringChunkCreate", VRD_E_BADSTRING);
        return 1;
    }
    // Unchecked, an offset past the area has no text to splice into.
    const char *text = vrd::textAtOffset(s, offset);
    if (text == nullptr) return 1;
    size_t length = std::strlen(text);
    // Out-of-range windows are the caller's fault; clamping keeps every
    // copy inside the text.
    size_t from = start < 0 ? 0 : static_cast<size_t>(start) > length ? length : static_cast<size_t>(start);
    size_t cut = count < 0 ? 0 : static_cast<size_t>(count) > length - from ? length - from : static_cast<size_t>(count);
    size_t extra = std::strlen(replacement);
    Scratch spliced;
    spliced.bytes = static_cast<char *>(mallocMem(extra + length - cut + 2));
    if (spliced.bytes == nullptr) {
        vrd::report("VRDstringChunkCreate", VRD_E_NOMEM);
        return 1;
    }
    std::memcpy(spliced.bytes, text, from);
    std::memcpy(spliced.bytes + from, replacement, extra);
    std::memcpy(spliced.bytes + from + extra, text + from + cut, length - from - cut + 1);
    VRDentity made;
    if (VRDstringCreate(spliced.bytes, &made) != 0) return 1;
    if (vrd::tagOf(e) != vrd::kTagString) made = vrd::makeEntity(vrd::payloadOf(made) | vrd::kTagId, 0);
    *result = made;
    return 0;
}

void VRD_CALL VRDstringChunkUpdate(VRDentity e, int32_t *position, int32_t *length, int32_t unit, int32_t first,
                                   int32_t count) {
    VRDstore *store = vrd::needStore("VRDstringChunkUpdate");
    if (store == nullptr) return;
    vrd::StringArea &s = vrd::strings(store);
    const char *text = textOf(s, e, "VRDstringChunkUpdate");
    if (text == nullptr) return;
    // A window outside the text is the caller's fault and is left as it is.
    int64_t textLength = static_cast<int64_t>(std::strlen(text));
    if (*position < 0 || *length < 0 || static_cast<int64_t>(*position) + *length > textLength) return;
    Chunk c{text, text + *position, text + *position + *length};
    switch (unit) {
    case 0:
        return narrowChars(position, length, first, count);
    case 1:
        return narrowWords(c, position, length, first, count);
    case 2:
        return narrowSeparated(c, position, length, '\n', first, count);
    default:
        return narrowSeparated(c, position, length, ',', first, count);
    }
}

VRDentity VRD_CALL VRDstringFind(const char *text) {
    VRDstore *store = vrd::needStore("VRDstringFind");
    if (store == nullptr) return vrd::nullEntity();
    vrd::StringArea &s = vrd::strings(store);
    if (s.stringIndex == nullptr) return vrd::nullEntity();
    vrd::StringPlace where = vrd::findStringPlace(s, text, std::strlen(text));
    if (where.found < 0) return vrd::nullEntity();
    return vrd::makeEntity(vrd::kTagString | static_cast<uint32_t>(where.found), 0);
}

VRDentity VRD_CALL VRDidFind(const char *text) {
    VRDstore *store = vrd::needStore("VRDidFind");
    if (store == nullptr) return vrd::nullEntity();
    vrd::StringArea &s = vrd::strings(store);
    if (s.stringIndex == nullptr) return vrd::nullEntity();
    vrd::StringPlace where = vrd::findStringPlace(s, text, std::strlen(text));
    if (where.found < 0) return vrd::nullEntity();
    return vrd::makeEntity(vrd::kTagId | static_cast<uint32_t>(where.found), 0);
}

}  // extern "C"
