// test_realtext.cpp - numbers as text: the fast paths give what printf "%g"/"%ld" and scanf "%lf" give, bit for bit.
#include <cfenv>
#include <cfloat>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/realtext.h"

namespace {

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
