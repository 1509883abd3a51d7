// charclass.cpp - a 256-entry table of Windows-1252 letter classes, built at compile time.
#include "files/charclass.h"

#include <array>
#include <cstdint>

namespace {
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
}  // namespace

namespace vrd {

bool isCharAlpha(int c) { return (classOf(c) & (kUpper | kLower)) != 0; }
bool isCharAlphaNumeric(int c) { return classOf(c) != 0; }
bool isCharLower(int c) { return (classOf(c) & kLower) != 0; }
bool isCharUpper(int c) { return (classOf(c) & kUpper) != 0; }

}  // namespace vrd
