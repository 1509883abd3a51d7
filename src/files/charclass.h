// charclass.h - the ANSI (Windows-1252) character classification the text reader relies on, as compile-time tables.
#ifndef VRD_FILES_CHARCLASS_H
#define VRD_FILES_CHARCLASS_H

#include <array>
#include <cstdint>

namespace vrd {

namespace charclass {
constexpr uint8_t kUpper = 1;
constexpr uint8_t kLower = 2;
constexpr uint8_t kDigit = 4;

constexpr std::array<uint8_t, 256> makeTable() {
    std::array<uint8_t, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = kUpper;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = kLower;
    for (int c = '0'; c <= '9'; ++c) t[c] = kDigit;
    // Upper case outside ASCII: S, OE and Z with caron, Y with diaeresis,
    // and the Latin-1 capitals except the multiplication sign (0xD7).
    for (int c : {0x8A, 0x8C, 0x8E, 0x9F}) t[c] = kUpper;
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) t[c] = kUpper;
    // Lower case: f with hook, s/oe/z with caron, the ordinal indicators,
    // micro sign, sharp s, the Latin-1 small letters except the division
    // sign (0xF7), and y with diaeresis (0xFF).
    for (int c : {0x83, 0x9A, 0x9C, 0x9E, 0xAA, 0xB5, 0xBA, 0xDF}) t[c] = kLower;
    for (int c = 0xE0; c <= 0xFF; ++c)
        if (c != 0xF7) t[c] = kLower;
    return t;
}

constexpr std::array<uint8_t, 256> kClass = makeTable();

constexpr uint8_t classOf(int c) { return kClass[static_cast<unsigned>(c) & 0xFFu]; }
}  // namespace charclass

// Each takes a byte, as char (signed or not) or as an unsigned value: only
// its low eight bits count.  Letters are those of Windows-1252; digits are
// "0" to "9"; nothing else is alphanumeric.
constexpr bool isCharAlpha(int c) { return (charclass::classOf(c) & (charclass::kUpper | charclass::kLower)) != 0; }
constexpr bool isCharAlphaNumeric(int c) { return charclass::classOf(c) != 0; }
constexpr bool isCharLower(int c) { return (charclass::classOf(c) & charclass::kLower) != 0; }
constexpr bool isCharUpper(int c) { return (charclass::classOf(c) & charclass::kUpper) != 0; }

// The C locale's case mapping: only "a"-"z" and "A"-"Z" change.
constexpr int toUpperAscii(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
constexpr int toLowerAscii(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

}  // namespace vrd

#endif  // VRD_FILES_CHARCLASS_H
