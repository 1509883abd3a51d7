// tokens.h - the text reader's bytes and tokens: taken from a text channel one by one or in bulk runs.
#ifndef VRD_FILES_TOKENS_H
#define VRD_FILES_TOKENS_H

#include <array>

#include "files/channel.h"

namespace vrd {

constexpr int kTokenMax = 1999;  // characters of a token or a string
constexpr int kEndOfInput = 0xFF;  // the end of input, as the channel stores it
constexpr const char *kReaderRoutine = "VRDfileReadEntity";  // the name the reader reports under

// What a byte does to a token: continues it, or ends it as white space, a
// delimiter or the end of input (0xFF, also the value kEndOfInput).
enum ByteClass : uint8_t { kTokenByte, kWhiteByte, kDelimiterByte, kEndByte };

constexpr std::array<uint8_t, 256> makeByteClasses() {
    std::array<uint8_t, 256> t{};
    for (int c : {' ', '\t', '\n', '\v', '\f', '\r'}) t[c] = kWhiteByte;
    for (int c : {'(', ')', '"'}) t[c] = kDelimiterByte;
    t[kEndOfInput] = kEndByte;
    return t;
}
inline constexpr std::array<uint8_t, 256> kByteClass = makeByteClasses();

inline bool isWhiteByte(int c) { return kByteClass[c] == kWhiteByte; }
inline bool isDelimiterByte(int c) { return kByteClass[c] == kDelimiterByte; }
inline bool endsToken(int c) { return kByteClass[c] != kTokenByte; }

using CaseMap = std::array<uint8_t, 256>;

// The bytes of one reading and the token last gathered.  Invariant:
// tokenLength never exceeds kTokenMax, so the token and its zero fit.
struct TokenSource {
    TextChannel *channel;
    bool ended;  // the end of input (or a 0xFF byte) has been met
    // The plain way: every byte through readTextFileChar, none taken in
    // bulk from the channel's bytes at hand.  Both give the same reading.
    bool plain;
    const CaseMap *keywordCase;
    const CaseMap *valueCase;
    char token[kTokenMax + 1];
    int tokenLength;
    bool tokenHasDot;  // a "." among the stored characters
};
extern TokenSource tokens;

// Starts a reading of `channel` (null: an empty input) with the case
// conversion of `caseFlags`, in the plain way or not.
void startTokens(TextChannel *channel, int32_t caseFlags, bool plain);

// The next byte, or kEndOfInput for good once the input (or a 0xFF byte)
// ended.  Bytes are taken from the channel one by one or, by the bulk runs
// of tokens.cpp, straight from its bytes at hand; either way the channel's
// place (its line and column, its progress hook) moves past every byte the
// moment it is taken, so a report made between two steps of the reader sees
// the place a byte-by-byte reader would have reached.
inline int nextChar() {
    if (tokens.ended) return kEndOfInput;
    int byte;
    if (tokens.plain) {
        char c;
        byte = readTextFileChar(tokens.channel, &c) != 0 ? static_cast<unsigned char>(c) : -1;
    } else {
        byte = takeByte(tokens.channel);
    }
    if (byte < 0 || byte == kEndOfInput) {
        tokens.ended = true;
        return kEndOfInput;
    }
    return byte;
}

// White space from `c` on, where `c` is white (the run then goes on from
// the channel's next byte); the first byte after it.
int skipWhiteRun(int c);
inline int skipWhite(int c) { return isWhiteByte(c) ? skipWhiteRun(c) : c; }
// Gathers a token that starts with `c`, converted as a keyword or a value
// token; gives the byte that ended it.
int gatherToken(int c, bool keyword);
// Gathers a string after its opening quote, unconverted, reporting -7 at its
// end of input or limit; gives the byte after it (the closing quote is
// consumed).
int gatherString();
// A point coordinate from `c`: optional sign and digits ("0"-"9" when
// asciiDigits, else the ANSI digits), wrapping in 32 bits; `c` becomes the
// byte after it.
int32_t readCoordinate(int &c, bool asciiDigits);
// The common point group in one step: when the bytes at hand hold, after
// the keyword's first byte `first`, the rest of a two-byte point tag, white
// space, both coordinates and the closing ")", all of it is taken (through
// the ")") and the coordinates given; otherwise nothing is taken and the
// group is read step by step.  Either way the token holds the first two
// bytes of the keyword, converted.  Only in bulk, so never across the end
// of the bytes at hand nor a progress step.
bool takePointGroup(int first, int32_t caseFlags, int32_t *x, int32_t *y);
// The token is the point tag under these case flags.
bool tokenIsPointTag(int32_t caseFlags);
// The token is an integer (optional sign, then digits only); its value
// wraps in 32 bits and the sign is applied last.
bool tokenInteger(int32_t *value);

}  // namespace vrd

#endif  // VRD_FILES_TOKENS_H
