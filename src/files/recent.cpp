// recent.cpp - small direct-mapped tables of identifiers and keywords, emptied whenever the store may have changed.
#include "files/recent.h"

namespace {
constexpr uint32_t kSlots = 256;  // a power of two
constexpr uint32_t kKeywordSlots = 64;  // likewise
constexpr int kWords = 3;
constexpr int kTextMax = kWords * 8 - 1;  // longer texts are not remembered

// A text of up to kTextMax bytes as three words, zero past its end.
struct Text {
    uint64_t words[kWords];
};

// A slot holds something only when its epoch is the current one.
struct Slot {
    uint32_t epoch;
    int length;
    Text text;
    VRDentity entity;
};

struct Recent {
    Slot slots[kSlots];     // identifiers
    Slot keywords[kKeywordSlots];  // keywords, the key in the entity's second word
    uint32_t epoch;
    uint32_t reports;        // vrd::reportCount when the slots were last valid
    uint64_t progressCalls;  // the channel's, likewise
    const TextChannel *channel;
};

Recent recent;

// Empties every slot at once; the epoch restarts, with the slots really
// emptied, before it could come round to an old slot's value.
void forgetAll() {
    if (++recent.epoch == 0) {
        recent = Recent{{}, {}, 1, recent.reports, recent.progressCalls, recent.channel};
    }
}

// Forgets everything when something outside the reader may have run.
void checkStillValid() {
    uint64_t calls = recent.channel != nullptr ? recent.channel->progressCalls : 0;
    if (recent.reports == vrd::reportCount && recent.progressCalls == calls) return;
    recent.reports = vrd::reportCount;
    recent.progressCalls = calls;
    forgetAll();
}

// The words of a text; `text` has kTextMax + 1 readable bytes whatever its length.
Text wordsOf(const char *text, int length) {
    Text t;
    std::memcpy(t.words, text, sizeof t.words);
    for (int i = 0; i < kWords; ++i) {
        int rest = length - 8 * i;
        if (rest <= 0)
            t.words[i] = 0;
        else if (rest < 8)
            t.words[i] &= (uint64_t{1} << (8 * rest)) - 1;
    }
    return t;
}

uint64_t hashOf(const Text &t, int length) {
    return (t.words[0] ^ (t.words[1] * 31) ^ (t.words[2] * 131) ^ static_cast<uint64_t>(length)) *
           0x9E3779B97F4A7C15ull;
}

template <uint32_t N>
Slot &slotOf(Slot (&slots)[N], const Text &t, int length) {
    return slots[(hashOf(t, length) >> 56) & (N - 1)];
}

bool sameText(const Text &a, const Text &b) {
    return a.words[0] == b.words[0] && a.words[1] == b.words[1] && a.words[2] == b.words[2];
}

template <uint32_t N>
bool recall(Slot (&slots)[N], const char *text, int length, VRDentity *entity) {
    if (length > kTextMax) return false;
    checkStillValid();
    Text t = wordsOf(text, length);
    const Slot &slot = slotOf(slots, t, length);
    if (slot.epoch != recent.epoch || slot.length != length || !sameText(slot.text, t)) return false;
    *entity = slot.entity;
    return true;
}

template <uint32_t N>
void remember(Slot (&slots)[N], const char *text, int length, VRDentity entity) {
    if (length > kTextMax) return;
    checkStillValid();
    Text t = wordsOf(text, length);
    slotOf(slots, t, length) = Slot{recent.epoch, length, t, entity};
}

}  // namespace

namespace vrd {

void startRecent(TextChannel *channel) {
    recent.channel = channel;
    recent.reports = reportCount;
    recent.progressCalls = channel != nullptr ? channel->progressCalls : 0;
    forgetAll();
}

bool recallIdentifier(const char *text, int length, VRDentity *entity) {
    return recall(recent.slots, text, length, entity);
}

void rememberIdentifier(const char *text, int length, VRDentity entity) {
    remember(recent.slots, text, length, entity);
}

bool recallKeyword(const char *text, int length, uint32_t *key) {
    VRDentity e;
    if (!recall(recent.keywords, text, length, &e)) return false;
    *key = e.second;
    return true;
}

void rememberKeyword(const char *text, int length, uint32_t key) {
    remember(recent.keywords, text, length, VRDentity{0, key});
}

}  // namespace vrd
