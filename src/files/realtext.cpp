// realtext.cpp - integers and reals to text and back, byte for byte as the C library's printf and scanf do it.
#include "files/realtext.h"

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Every power of ten up to 10^22 is a double exactly (5^22 < 2^53).
constexpr int kExactPowers = 22;
constexpr double kPow10[kExactPowers + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExactMantissa = uint64_t{1} << 53;  // every integer up to here is a double exactly

constexpr int kSignificant = 6;           // "%g" without a precision
constexpr uint32_t kLowest = 100000;      // the six-digit range: 10^5 ..
constexpr uint32_t kPastHighest = 1000000;  //                  .. 10^6 - 1
// The scaled value lies below 10^7 and is off by at most 2^-53 of itself,
// less than 1.2e-9; a fraction farther than this from one half therefore
// rounds as the exact scaled value does.
constexpr double kTieMargin = 1e-8;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "00" to "99": two digits of a number at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The fast paths give the correctly rounded answer, with two-digit
// exponents; they stand in only for C libraries known to answer the same
// (the GNU C library, the Universal CRT, Apple's).  Elsewhere the library
// itself is asked every time.
#if defined(__GLIBC__) || defined(_UCRT) || defined(__APPLE__)
constexpr bool kLibraryMatches = true;
#else
constexpr bool kLibraryMatches = false;
#endif

// The fast paths rely on each operation rounding once, to nearest, in double.
bool exactArithmetic() {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    return kLibraryMatches && std::fegetround() == FE_TONEAREST;
#else
    return false;
#endif
}

// round(magnitude * 10^scale) to an integer, when it is decided exactly.
bool roundScaled(double magnitude, int scale, uint32_t *digits) {
    if (scale > kExactPowers || scale < -kExactPowers) return false;
    double t = scale >= 0 ? magnitude * kPow10[scale] : magnitude / kPow10[-scale];
    if (!(t >= 1.0 && t < 1e7)) return false;
    double whole = std::floor(t);
    double fraction = t - whole;  // exact: t and whole share t's binary exponent
    if (std::fabs(fraction - 0.5) < kTieMargin) return false;
    *digits = static_cast<uint32_t>(whole) + (fraction > 0.5 ? 1u : 0u);
    return true;
}

// Copies digits[from..to] and gives the end.
char *copyDigits(char *out, const char *digits, int from, int to) {
    for (int i = from; i <= to; ++i) *out++ = digits[i];
    return out;
}

// "%g" of six significant digits `digits` with decimal exponent x: style e
// outside -4 <= x < 6, else style f, trailing zeros (and a bare point) removed.
char *writeDigits(char *out, const char digits[kSignificant], int x) {
    int last = kSignificant - 1;
    while (last > 0 && digits[last] == '0') --last;
    if (x < -4 || x >= kSignificant) {
        *out++ = digits[0];
        if (last > 0) {
            *out++ = '.';
            out = copyDigits(out, digits, 1, last);
        }
        *out++ = 'e';
        *out++ = x < 0 ? '-' : '+';
        int e = std::abs(x);
        if (e >= 100) *out++ = static_cast<char>('0' + e / 100);
        *out++ = static_cast<char>('0' + e / 10 % 10);
        *out++ = static_cast<char>('0' + e % 10);
    } else if (x >= 0) {
        out = copyDigits(out, digits, 0, x);
        if (last > x) {
            *out++ = '.';
            out = copyDigits(out, digits, x + 1, last);
        }
    } else {
        *out++ = '0';
        *out++ = '.';
        for (int i = -1; i > x; --i) *out++ = '0';
        out = copyDigits(out, digits, 0, last);
    }
    return out;
}

}  // namespace

namespace vrd {

size_t formatInt(int32_t value, char *out) {
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char *p = out;
    if (value < 0) *p++ = '-';
    int digits = 1;
    for (uint32_t bound = 10; digits < 10 && magnitude >= bound; bound *= 10) ++digits;
    char *end = p + digits;
    // Two digits per division, from the last ones back.
    for (; magnitude >= 100; magnitude /= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (magnitude % 100), 2);
    }
    if (magnitude >= 10)
        std::memcpy(end - 2, kDigitPairs + 2 * magnitude, 2);
    else
        end[-1] = static_cast<char>('0' + magnitude);
    p += digits;
    *p = '\0';
    return static_cast<size_t>(p - out);
}

bool realFastPathsOn() { return exactArithmetic(); }

bool formatRealFast(double value, char *out, size_t *length) {
    if (!exactArithmetic()) return false;
    char *p = out;
    if (value == 0.0) {  // both zeros: "0" and "-0"
        if (std::signbit(value)) *p++ = '-';
        *p++ = '0';
    } else {
        if (!std::isfinite(value)) return false;
        double magnitude = std::fabs(value);
        // The exponent x of the six-digit rounding: 10^5 <= digits < 10^6.
        // log10 may be one off near a power of ten; each correction moves
        // towards the range, and the range is met within two.
        int x = static_cast<int>(std::floor(std::log10(magnitude)));
        uint32_t scaled = 0;
        for (int tries = 0;; ++tries) {
            if (tries == 3 || !roundScaled(magnitude, kSignificant - 1 - x, &scaled)) return false;
            if (scaled >= kPastHighest)
                ++x;
            else if (scaled < kLowest)
                --x;
            else
                break;
        }
        char digits[kSignificant];
        for (int i = kSignificant - 1; i >= 0; --i, scaled /= 10) digits[i] = static_cast<char>('0' + scaled % 10);
        if (value < 0) *p++ = '-';
        p = writeDigits(p, digits, x);
    }
    *p = '\0';
    *length = static_cast<size_t>(p - out);
    return true;
}

size_t writeNan(double value, char *out) {
    const char *text = std::signbit(value) ? "-nan" : "nan";
    std::strcpy(out, text);
    return std::strlen(text);
}

bool scanNan(const char *text, double *value) {
    const char *p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (const char *letter = "nan"; *letter != '\0'; ++letter, ++p)
        if (*p != *letter && *p != *letter - 'a' + 'A') return false;
    if (*p == '(') return false;  // a payload: left to the C library
    double nan = std::numeric_limits<double>::quiet_NaN();
    *value = negative ? -nan : nan;
    return true;
}

size_t formatReal(double value, char *out) {
    size_t length;
    if (std::isnan(value)) return writeNan(value, out);
    if (formatRealFast(value, out, &length)) return length;
    int n = std::snprintf(out, kNumberTextBytes, "%g", value);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

bool scanRealFast(const char *text, double *value) {
    const char *p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (;; ++p) {
        if (*p == '.' && !point) {
            point = true;
            continue;
        }
        if (!isDigit(*p)) break;
        if (mantissa > kExactMantissa) return false;  // too many digits to be exact
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        ++digits;
        decimals += point ? 1 : 0;
    }
    // An exponent (or what the C library would try to read as one) is left to it.
    if (!point || digits == 0 || *p == 'e' || *p == 'E') return false;
    if (mantissa > kExactMantissa || decimals > kExactPowers || !exactArithmetic()) return false;
    double whole = static_cast<double>(mantissa);
    *value = (negative ? -whole : whole) / kPow10[decimals];
    return true;
}

bool scanReal(const char *text, double *value) {
    return scanRealFast(text, value) || scanNan(text, value) || std::sscanf(text, "%lf", value) == 1;
}

}  // namespace vrd
