// test_textchan.cpp - text channels: files, strings and buffers, their ends, formats and failures; numbers as
// text: the fast paths give what printf "%g"/"%ld" and scanf "%lf" give, bit for bit.
#include <cctype>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/realtext.h"
#include "support.h"
#include "vrd/textchan.h"

namespace {

// Everything a reading channel hands out; its end gives 0 and the byte -1, now and on every later call.
std::string drain(TextChannel *c) {
    std::string all;
    char ch = 0;
    while (readTextFileChar(c, &ch) != 0) all.push_back(ch);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ch == '\xFF' && readTextFileChar(c, &(ch = 'x')) == 0);
    return all;
}

TEST(TextChannel, StringChannelsEndWithZeroAndMinusOne) {
    TextChannel *c = openTextString("a\xFF" "b", 3);  // 0xFF is data to the channel
    EXPECT_EQ(drain(c), "a\xFF" "b");
    EXPECT_TRUE(printTextFileChar(c, 'z') == 0 && closeTextFile(c) == 0);  // a reading channel cannot write
}  // a failed file write shows on close: the binary suite's full-device test writes forms through a channel

TEST(TextChannel, OpenRefusesBadModesMissingFilesDirectoriesAndShortMemory) {
    std::string path = vrdtest::scratchPath("textchan_open.txt"), missing = path + ".missing";
    for (const char *mode : {"a", "rw"}) EXPECT_EQ(openTextFile(path.c_str(), mode), nullptr);
    EXPECT_EQ(openTextFile(missing.c_str(), "r"), nullptr);
    EXPECT_EQ(openTextFile(::testing::TempDir().c_str(), "r"), nullptr);  // a directory yields no text
    for (long n = 1; n <= 2; ++n) {  // the channel record, then its block: nothing leaks
        heapwrapFailNth(n);
        EXPECT_EQ(openTextFile(path.c_str(), "w"), nullptr) << n;
        heapwrapFailNth(n);
        EXPECT_EQ(openTextBuffer(), nullptr) << n;
    }
    heapwrapFailNth(1);
    EXPECT_EQ(openTextString("abc", 3), nullptr);
}

TEST(TextChannel, BufferFormatsAndGrowsAndAFailedGrowthLosesBytesVisibly) {
    TextChannel *b = openTextBuffer();
    auto text = [b] { size_t n = 0; const char *data = textBufferData(b, &n); return std::string(data, n); };
    EXPECT_EQ(printTextFile(b, "%s", "ab c"), 4);
    for (int32_t v : {-17, INT32_MIN, INT32_MAX, 0}) printTextFile(b, "[%l]", v);
    for (double v : {2.0, 0.123456789, 1e20, -0.5, DBL_MAX}) printTextFile(b, "[%g]", v);
    printTextFile(b, "%s=%l%%", "x", 5);
    // An unknown directive (or a lone "%") fails and stops the output there.
    EXPECT_TRUE(printTextFile(b, "a%d", 3) == -1 && printTextFile(b, "b%") == -1);
    std::string expected = "ab c[-17][-2147483648][2147483647][0][2][0.123457][1e+20][-0.5][1.79769e+308]"
                           "x=5%ab";
    while (expected.size() < 16384) expected.push_back(static_cast<char>('a' + expected.size() % 26));
    for (size_t i = text().size(); i < expected.size(); ++i) ASSERT_EQ(printTextFileChar(b, expected[i]), 1);
    EXPECT_TRUE(text() == expected && textBufferData(b, nullptr)[expected.size()] == '\0');
    // A failed growth refuses that byte and every later one, keeps the text, fails the close.
    heapwrapFailNth(1);
    EXPECT_TRUE(printTextFileChar(b, 'x') == 0 && printTextFileChar(b, 'y') == 0 && text() == expected);
    EXPECT_EQ(closeTextFile(b), -1);
}

// Line and column of the n-th byte of `bytes`, counted one byte at a time.
std::pair<long, long> placeOf(const std::string &bytes, size_t n) {
    long line = 0, column = 0;
    for (size_t i = 0; i < n; ++i) {
        bool starts = line == 0 || (i > 0 && bytes[i - 1] == '\n');
        line += starts ? 1 : 0;
        column = starts ? 1 : column + 1;
    }
    return {line, column};
}

std::pair<long, long> placeOf(TextChannel *c) {
    std::pair<long, long> p;
    EXPECT_EQ(textChannelPosition(c, &p.first, &p.second), 0);
    return p;
}

// Files go through in blocks, every byte value as data; reading takes two
// allocations, not one per block.  Channels keep their place over every byte
// handed out or written, across the blocks of a file and lines longer than a
// block, whoever asks when.
TEST(TextChannel, FilesPassEveryByteAndPlacesAreThoseOfTheBytesPassedThrough) {
    std::mt19937 rng(3);
    std::string text(70000, 'x');  // a first line longer than a block
    for (int i = 0; i < 256; ++i) text.push_back(static_cast<char>(i));
    while (text.size() < 300000) text += rng() % 8 == 0 ? std::string(rng() % 3 + 1, '\n') : std::string(rng() % 90, 'y');
    for (int i = 0; i < 4096; ++i) text.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    std::string path = vrdtest::scratchPath("textchan_places.txt");
    TextChannel *w = openTextFile(path.c_str(), "w");
    EXPECT_EQ(readTextFileChar(w, nullptr), 0);  // a writing channel cannot read
    for (size_t i = 0; i < text.size();) {
        size_t end = std::min(text.size(), i + 1 + rng() % 5000);
        for (; i < end; ++i) ASSERT_EQ(printTextFileChar(w, static_cast<unsigned char>(text[i])), 1);
        ASSERT_EQ(placeOf(w), placeOf(text, i)) << i;
    }
    ASSERT_EQ(closeTextFile(w), 0);
    for (int kind = 0; kind < 2; ++kind) {
        long before = heapwrapCalls();
        TextChannel *r = kind == 0 ? openTextFile(path.c_str(), "r") : openTextString(text.data(), text.size());
        EXPECT_EQ(placeOf(r), std::make_pair(0L, 0L));
        size_t taken = 0;
        for (char ch; readTextFileChar(r, &ch) != 0;) {
            ASSERT_EQ(ch, text[taken++]) << taken;
            if (rng() % 1000 == 0 || taken % 65536 < 2) {
                ASSERT_EQ(placeOf(r), placeOf(text, taken)) << taken;
            }
        }
        EXPECT_TRUE(taken == text.size() && drain(r).empty());
        EXPECT_EQ(placeOf(r), placeOf(text, text.size()));  // the end moves nothing
        EXPECT_TRUE(closeTextFile(r) == 0 && (kind == 1 || heapwrapCalls() - before == 2)) << kind;
    }
    std::remove(path.c_str());
}

// The progress hook of a reading channel: one call per MiB handed out, with
// the count so far; writing channels refuse it.
void VRD_CALL countProgress(void *context, size_t bytes) { static_cast<std::vector<size_t> *>(context)->push_back(bytes); }

TEST(ReadingProgress, OneCallPerMebibyteHandedOut) {
    const size_t mib = 1 << 20;
    std::string text(2 * mib + 5, ' ');
    std::vector<size_t> calls;
    TextChannel *c = openTextString(text.data(), text.size());
    ASSERT_EQ(textChannelSetProgress(c, countProgress, &calls), 0);
    for (char byte; readTextFileChar(c, &byte) != 0;) continue;
    EXPECT_EQ(calls, (std::vector<size_t>{mib, 2 * mib}));
    ASSERT_EQ(textChannelSetProgress(c, nullptr, nullptr), 0);
    closeTextFile(c);
    TextChannel *w = openTextBuffer();
    EXPECT_EQ(textChannelSetProgress(w, countProgress, &calls), -1);
    EXPECT_EQ(textChannelSetProgress(nullptr, countProgress, &calls), -1);
    closeTextFile(w);
}

// What "%g" gives.  NaNs are the library's own text on every system, the one
// glibc's printf gives ("nan", "-nan" by the sign bit); other C libraries may
// drop the sign.
std::string printed(double v) {
    if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Values where "%g" is easy to get wrong: both zeros, the ends of the
// double range, the style switches at 1e-4 and 1e6, carries into a new
// digit, exact ties (half-even in the C library), integral and huge values.
std::vector<double> hardValues() {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> v = {0.0,      -0.0,     inf,       -inf,      std::nan(""), -std::nan(""), DBL_MAX,
                             DBL_MIN,  4.9e-324, 1e-17,     1e28,      0.0001,       0.00001,       0.000099999949,
                             999999.5, 999999.4, 9.999995,  9.9999949, 99999.95,     1234565.0,     1234575.0,
                             0.5,      2.5e-5,   1e20,      2.0,       0.123456789,  123456.5,      100000.0,
                             1e6,      -1e-300,  0.1 + 0.2, 1.0 / 3,   2.0 / 3,      7e22,          1e23};
    for (int e = -30; e <= 30; ++e) {
        double p = std::pow(10.0, e);
        for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, inf), 9.999995 * p, 9.999985 * p})
            v.insert(v.end(), {x, -x});
    }
    return v;
}

TEST(RealText, FormatGivesWhatPrintfGives) {
    char text[vrd::kNumberTextBytes];
    auto same = [&](double v) {
        size_t n = vrd::formatReal(v, text);
        ASSERT_EQ(std::string(text, n), printed(v)) << std::hexfloat << v;
    };
    for (double v : hardValues()) same(v);
    std::mt19937_64 rng(11);
    for (int i = 0; i < 100000; ++i) {
        uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        same(v);  // any double, NaNs and subnormals included
        double decimal = static_cast<double>(rng() % 100000000) * std::pow(10.0, static_cast<int>(rng() % 40) - 24);
        same(decimal);  // values near a six-digit rounding boundary, and their neighbours
        same(std::nextafter(decimal, 0.0));
        same(std::nextafter(decimal, 1e300));
    }
    // The fast path itself: it answers for the values text files hold (at
    // most six significant digits, from 1e-5 to 1e15), declines near ties.
    // It is on wherever the C library rounds correctly, as glibc does.
#if defined(__GLIBC__)
    ASSERT_TRUE(vrd::realFastPathsOn());
#endif
    if (!vrd::realFastPathsOn()) return;
    size_t n;
    for (int i = 0; i < 20000; ++i) {
        double v = static_cast<double>(rng() % 1000000) * std::pow(10.0, static_cast<int>(rng() % 20) - 10);
        if (v == 0.0) continue;
        ASSERT_TRUE(vrd::formatRealFast(v, text, &n)) << v;
        ASSERT_EQ(std::string(text, n), printed(v)) << v;
    }
    EXPECT_FALSE(vrd::formatRealFast(1234565.0, text, &n));  // an exact tie: the C library decides
    EXPECT_FALSE(vrd::formatRealFast(std::numeric_limits<double>::infinity(), text, &n));
}

TEST(RealText, IntegersAsPrintfGivesThem) {
    char text[vrd::kNumberTextBytes], expected[32];
    std::vector<int32_t> values = {0, -1, 9, 10, -10, 99, 100, INT32_MIN, INT32_MAX, INT32_MIN + 1};
    for (int64_t p = 1; p <= 1000000000; p *= 10)
        for (int64_t d : {-1, 0, 1}) values.insert(values.end(), {int32_t(p + d), int32_t(-(p + d))});
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) values.push_back(static_cast<int32_t>(rng()) >> (rng() % 32));
    for (int32_t v : values) {
        std::snprintf(expected, sizeof expected, "%ld", static_cast<long>(v));
        ASSERT_EQ(std::string(text, vrd::formatInt(v, text)), expected);
    }
}

// scanReal and sscanf on the same text: the same answer and, when they read
// a number, the same bits.
void expectScannedAlike(const std::string &token) {
    double fast = 1.25, library = 1.25;
    bool read = vrd::scanReal(token.c_str(), &fast);
    // [sign] "nan" without a payload: glibc's strtod answer on every system,
    // the default quiet NaN with the text's sign (mingw's scanf drops it).
    std::string head = token.substr(0, token.find_first_not_of("+-"));
    std::string word = token.substr(head.size(), 3);
    for (char &c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head.size() <= 1 && word == "nan" && token[head.size() + 3] != '(') {
        uint64_t bits;
        ASSERT_TRUE(read) << token;
        std::memcpy(&bits, &fast, sizeof bits);
        EXPECT_EQ(bits, head == "-" ? 0xFFF8000000000000u : 0x7FF8000000000000u) << token;
#ifndef _WIN32
        EXPECT_EQ(std::sscanf(token.c_str(), "%lf", &library), 1);
        EXPECT_EQ(std::memcmp(&fast, &library, sizeof fast), 0) << token;
#endif
        return;
    }
    ASSERT_EQ(read, std::sscanf(token.c_str(), "%lf", &library) == 1) << token;
    if (read) {
        ASSERT_EQ(std::memcmp(&fast, &library, sizeof fast), 0) << token << " " << fast << " " << library;
    }
}

TEST(RealText, ScanGivesWhatScanfGives) {
    const char *tokens[] = {
        "1.5", "-1.5", "+1.5", ".5", "-.25", "1.", "-0.0", "0.", "00000000000000000000001.5", "1.2.3", "1.5x",
        "1.5e", "1.5ex", "1.5e+", "1.5e3", "1.5E-3", "1.e5", ".e1", ".", "-.", "+", "12ab.5", "0x1.8p3", "0x.8",
        "-0X1P-2.", "inf.", "-inf.x", "INF.", "infinity.5", "nan.", "NAN(12).", "nan(x).", "-nan.", "+NaN", "-nanx", "--nan.",
        // 17 digits and more, halfway cases between two doubles, the ends
        "0.1000000000000000055511151231257827", "9007199254740993.0", "9007199254740992.5",
        "1.00000000000000011102230246251565404236316680908203125", "0.50000000000000002775557561562891351059",
        "2.2250738585072014e-308.", "2.2250738585072011e-308.", "4.9e-324.", "2.4703282292062328e-324.",
        "1.7976931348623157e308.", "1.7976931348623159e308.", "1e400.", "-1e400.", "1e-400.",
        "123456789012345678901234.5", "0.0000000000000000000001", "0.00000000000000000000001", "3.141592653589793238",
        "1.5\xE9", "5.\x01", "-0.000", "+.0"};
    for (const char *t : tokens) expectScannedAlike(t);
    std::mt19937_64 rng(7);
    for (int i = 0; i < 100000; ++i) {
        std::string digits = std::to_string(rng() >> (rng() % 64));
        size_t point = rng() % (digits.size() + 1);
        std::string token = std::string(rng() % 3 == 0 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
        expectScannedAlike(token);
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(rng() % 24),
                      std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 100) - 80));
        expectScannedAlike(text);
    }
    // The fast path answers for the reals text files hold, and leaves
    // exponents, hexadecimal forms and over-long mantissas to sscanf.
    if (!vrd::realFastPathsOn()) return;
    double v;
    for (const char *t : {"0.0058", "-4711.3", "1634.5", "+0.001", "7.", ".75", "1.5x", "1.2.3"})
        EXPECT_TRUE(vrd::scanRealFast(t, &v)) << t;
    for (const char *t : {"1.5e3", "0x1.8p3", "inf.", "12ab.5", "9007199254740993.0", "0.00000000000000000000001", "."})
        EXPECT_FALSE(vrd::scanRealFast(t, &v)) << t;
}

// In another rounding mode the C library rounds otherwise; the fast paths
// step aside and both conversions still agree with it.
TEST(RealText, OtherRoundingModesAreLeftToTheCLibrary) {
    char text[vrd::kNumberTextBytes];
    size_t n;
    double v;
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    bool declined = !vrd::formatRealFast(0.1, text, &n) && !vrd::scanRealFast("0.1", &v);
    std::string formatted(text, vrd::formatReal(-0.1234567, text));
    std::string expected = printed(-0.1234567);
    expectScannedAlike("-1.1");
    std::fesetround(FE_TONEAREST);
    EXPECT_TRUE(declined);
    EXPECT_EQ(formatted, expected);
}

}  // namespace
