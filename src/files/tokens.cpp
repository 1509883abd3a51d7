// tokens.cpp - the text reader's tokens, strings and coordinates, gathered in bulk from the channel's bytes at hand.
#include "files/tokens.h"

#include <algorithm>
#include <bit>

#include "files/charclass.h"

namespace {
using vrd::CaseMap;
using vrd::kByteClass;
using vrd::kTokenByte;
using vrd::kTokenMax;
using vrd::tokens;

// The case conversions of keyword and value tokens, per case flags & 3:
// keywords change only "a"-"z" / "A"-"Z", values every letter the ANSI
// classification calls lower / upper case (the C locale's toupper and
// tolower then change the ASCII ones).  Bit 0 (upper) goes first.
constexpr CaseMap makeCaseMap(int flags, bool keyword) {
    CaseMap m{};
    for (int c = 0; c < 256; ++c) {
        bool lower = keyword ? c >= 'a' && c <= 'z' : vrd::isCharLower(c);
        bool upper = keyword ? c >= 'A' && c <= 'Z' : vrd::isCharUpper(c);
        int to = c;
        if ((flags & 1) && lower)
            to = vrd::toUpperAscii(c);
        else if ((flags & 2) && upper)
            to = vrd::toLowerAscii(c);
        m[c] = static_cast<uint8_t>(to);
    }
    return m;
}
constexpr CaseMap kKeywordCase[4] = {makeCaseMap(0, true), makeCaseMap(1, true), makeCaseMap(2, true),
                                     makeCaseMap(3, true)};
constexpr CaseMap kValueCase[4] = {makeCaseMap(0, false), makeCaseMap(1, false), makeCaseMap(2, false),
                                   makeCaseMap(3, false)};

bool isDigit(int c) { return vrd::isCharAlphaNumeric(c) && !vrd::isCharAlpha(c); }

// The channel whose bytes at hand may be taken in bulk, or null.
TextChannel *bulkChannel() { return tokens.plain || tokens.ended ? nullptr : tokens.channel; }

// Takes the bytes at hand that `keep` accepts (it sees each one), then the
// first one it refuses, which it gives back, as nextChar would (0xFF ends
// the input); -1 when the bytes at hand ran out first, or in the plain way.
template <typename Keep>
int takeRun(Keep keep) {
    TextChannel *ch = bulkChannel();
    if (ch == nullptr) return -1;
    const unsigned char *p = ch->cur;
    const unsigned char *end = ch->limit;
    while (p < end) {
        int b = *p++;
        if (!keep(b)) {
            ch->cur = p;
            if (b == vrd::kEndOfInput) tokens.ended = true;
            return b;
        }
    }
    ch->cur = p;
    return -1;
}

// The byte after a run: the one takeRun refused, else the next one.
template <typename Keep>
int afterRun(Keep keep) {
    int refused = takeRun(keep);
    return refused >= 0 ? refused : vrd::nextChar();
}

// Stores the bytes of a token from `c` on, converted; bytes beyond
// kTokenMax are dropped.  Gives the byte that ended the token.
int storeToken(int c, const CaseMap &convert) {
    int length = tokens.tokenLength;
    bool dot = tokens.tokenHasDot;
    auto store = [&](int b) {
        if (length == kTokenMax) return;
        uint8_t converted = convert[b];
        dot |= converted == '.';
        tokens.token[length++] = static_cast<char>(converted);
    };
    while (!vrd::endsToken(c)) {
        store(c);
        c = afterRun([&](int b) {
            if (vrd::endsToken(b)) return false;
            store(b);
            return true;
        });
    }
    tokens.tokenLength = length;
    tokens.tokenHasDot = dot;
    return c;
}

// Stores the part of a string that lies at hand, up to its closing quote,
// the end of input or the string's limit; true when the limit was reached.
bool storeStringRun() {
    TextChannel *ch = bulkChannel();
    if (ch == nullptr) return false;
    const unsigned char *p = ch->cur;
    const unsigned char *stop = p + std::min<ptrdiff_t>(ch->limit - p, kTokenMax - tokens.tokenLength);
    const unsigned char *q = p;
    while (q < stop && *q != '"' && *q != vrd::kEndOfInput) ++q;
    std::memcpy(tokens.token + tokens.tokenLength, p, static_cast<size_t>(q - p));
    tokens.tokenLength += static_cast<int>(q - p);
    ch->cur = q;
    return tokens.tokenLength == kTokenMax;
}

// White space from p on, within the bytes at hand.
const unsigned char *skipWhiteAt(const unsigned char *p, const unsigned char *end) {
    while (p < end && vrd::isWhiteByte(*p)) ++p;
    return p;
}

// The number of leading ASCII digits among the eight bytes of `w` (the
// first byte lowest).  A byte is a digit when its high nibble is 3 and
// adding 6 keeps it so; a carry out of a byte can only come from a
// non-digit (0xFA or more), so it never changes the count.
int leadingDigits(uint64_t w) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    uint64_t high = w & (0xF0 * kOnes), bumped = (w + 6 * kOnes) & (0xF0 * kOnes);
    uint64_t other = (high ^ (0x30 * kOnes)) | (bumped ^ (0x30 * kOnes));  // non-zero bytes: not digits
    uint64_t flags = (((other & (0x7F * kOnes)) + 0x7F * kOnes) | other) & (0x80 * kOnes);
    return flags == 0 ? 8 : std::countr_zero(flags) / 8;
}

// The value of the n (1 to 7) digits that open `w`, as the digit loop
// would compute it: the digits are moved to the top bytes, behind zeros,
// and combined pairwise, then by fours, then whole.
uint32_t digitsValue(uint64_t w, int n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    w = (w - 0x30 * kOnes) << (8 * (8 - n));
    w = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFull;
    w = (w * 100 + (w >> 16)) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>((w * 10000 + (w >> 32)) & 0xFFFFFFFFull);
}

// A coordinate from p on, as readCoordinate reads it, within the bytes at
// hand.  A coordinate of fewer than eight digits with eight bytes at hand
// is read in one step, without a branch per digit; any other goes digit by
// digit, wrapping in 32 bits.
inline const unsigned char *coordinateAt(const unsigned char *p, const unsigned char *end, uint32_t *value) {
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    uint32_t v = 0;
    if (end - p >= 8) {
        uint64_t w;
        std::memcpy(&w, p, sizeof w);
        int n = leadingDigits(w);
        if (n < 8) {
            v = n == 0 ? 0 : digitsValue(w, n);
            *value = negative ? 0u - v : v;
            return p + n;
        }
    }
    for (; p < end && static_cast<unsigned>(*p - '0') <= 9u; ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
    *value = negative ? 0u - v : v;
    return p;
}

}  // namespace

namespace vrd {

TokenSource tokens;

void startTokens(TextChannel *channel, int32_t caseFlags, bool plain) {
    tokens.channel = channel;
    tokens.ended = channel == nullptr;
    tokens.plain = plain;
    tokens.keywordCase = &kKeywordCase[caseFlags & 3];
    tokens.valueCase = &kValueCase[caseFlags & 3];
    tokens.tokenLength = 0;
    tokens.tokenHasDot = false;
}

int skipWhiteRun(int c) {
    // Most runs end among the bytes at hand: one tight scan takes them.
    if (TextChannel *ch = bulkChannel()) {
        const unsigned char *p = ch->cur, *end = ch->limit;
        while (p < end && isWhiteByte(*p)) ++p;
        ch->cur = p;
        if (p < end) {
            ch->cur = p + 1;
            if (*p == kEndOfInput) tokens.ended = true;
            return *p;
        }
    }
    while (isWhiteByte(c)) c = afterRun([](int b) { return isWhiteByte(b); });
    return c;
}

int gatherToken(int c, bool keyword) {
    const CaseMap &convert = keyword ? *tokens.keywordCase : *tokens.valueCase;
    tokens.tokenLength = 0;
    tokens.tokenHasDot = false;
    // A token whose end lies among the bytes at hand, within the token's
    // limit, is converted in one pass; "." is a byte no conversion makes or
    // changes, so the converted token holds one where the text did.
    if (TextChannel *ch = bulkChannel(); ch != nullptr && !endsToken(c)) {
        const unsigned char *p = ch->cur;
        const unsigned char *stop = p + std::min<ptrdiff_t>(ch->limit - p, kTokenMax - 1);
        char *out = tokens.token;
        *out++ = static_cast<char>(convert[c]);
        bool dot = c == '.';
        for (; p < stop && !endsToken(*p); ++p) {
            dot |= *p == '.';
            *out++ = static_cast<char>(convert[*p]);
        }
        if (p < stop) {
            tokens.tokenLength = static_cast<int>(out - tokens.token);
            tokens.tokenHasDot = dot;
            *out = '\0';
            ch->cur = p + 1;
            if (*p == kEndOfInput) tokens.ended = true;
            return *p;
        }
        tokens.tokenLength = 0;  // not ended at hand: gathered the general way below
    }
    c = storeToken(c, convert);
    tokens.token[tokens.tokenLength] = '\0';
    return c;
}

int gatherString() {
    tokens.tokenLength = 0;
    for (;;) {
        if (storeStringRun()) {
            report(kReaderRoutine, VRD_E_BADSTRING);
            break;
        }
        int c = nextChar();
        if (c == '"') break;
        if (c == kEndOfInput) {
            report(kReaderRoutine, VRD_E_BADSTRING);
            break;
        }
        tokens.token[tokens.tokenLength++] = static_cast<char>(c);
        if (tokens.tokenLength == kTokenMax) {
            report(kReaderRoutine, VRD_E_BADSTRING);
            break;
        }
    }
    tokens.token[tokens.tokenLength] = '\0';
    return nextChar();
}

int32_t readCoordinate(int &c, bool asciiDigits) {
    bool negative = c == '-';
    if (c == '-' || c == '+') c = nextChar();
    uint32_t v = 0;
    auto digit = [&](int b) {
        if (!(asciiDigits ? (b >= '0' && b <= '9') : isDigit(b))) return false;
        v = v * 10u + static_cast<uint32_t>(b - '0');
        return true;
    };
    while (digit(c)) c = afterRun(digit);
    return static_cast<int32_t>(negative ? 0u - v : v);
}

bool takePointGroup(int first, int32_t caseFlags, int32_t *x, int32_t *y) {
    TextChannel *ch = bulkChannel();
    if (ch == nullptr || ch->limit - ch->cur < 3) return false;
    const unsigned char *p = ch->cur;
    const unsigned char *end = ch->limit;
    tokens.token[0] = static_cast<char>((*tokens.keywordCase)[first]);
    tokens.token[1] = static_cast<char>((*tokens.keywordCase)[*p]);
    tokens.token[2] = '\0';
    tokens.tokenLength = 2;
    if (!isWhiteByte(p[1]) || !tokenIsPointTag(caseFlags)) return false;
    uint32_t xv, yv;
    p = skipWhiteAt(coordinateAt(skipWhiteAt(p + 2, end), end, &xv), end);
    p = skipWhiteAt(coordinateAt(p, end, &yv), end);
    if (p == end || *p != ')') return false;
    ch->cur = p + 1;
    *x = static_cast<int32_t>(xv);
    *y = static_cast<int32_t>(yv);
    return true;
}

bool tokenIsPointTag(int32_t caseFlags) {
    const char *t = tokens.token;
    if (tokens.tokenLength != 2) return false;
    if (caseFlags == 0) return (t[0] == 'P' || t[0] == 'p') && (t[1] == 'T' || t[1] == 't');
    return std::strcmp(t, (caseFlags & 1) ? "PT" : "pt") == 0;
}

bool tokenInteger(int32_t *value) {
    const char *p = tokens.token;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint32_t v = 0;
    for (; *p != '\0'; ++p) {
        if (!isDigit(static_cast<unsigned char>(*p))) return false;
        v = v * 10u + static_cast<uint32_t>(*p - '0');
    }
    *value = static_cast<int32_t>(negative ? 0u - v : v);
    return true;
}

}  // namespace vrd
