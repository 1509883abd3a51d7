// realtext.h - numbers as text for the reader and writer: exact fast paths with the C library calls behind them.
#ifndef VRD_FILES_REALTEXT_H
#define VRD_FILES_REALTEXT_H

#include <cstddef>
#include <cstdint>

namespace vrd {

// Room for any text written below, with its terminating zero.
constexpr size_t kNumberTextBytes = 48;

// The text snprintf "%ld" gives for `value`; its length.
size_t formatInt(int32_t value, char *out);

// The text snprintf "%g" gives for `value` (six significant digits); its
// length.  The fast path below where it applies, else snprintf itself.
size_t formatReal(double value, char *out);

// As sscanf(text, "%lf", value) == 1: a number read from the start of
// `text`, whatever follows it.  The fast path below where it applies, else
// sscanf itself.
bool scanReal(const char *text, double *value);

// NaNs are written and read here rather than by the C library, which not
// every system does alike (mingw's printf drops the sign; its scanf reads
// "-nan" as a positive NaN).  The text is "nan" or "-nan" by the sign bit, as
// "%g" writes it on glibc; writeNan gives its length.  scanNan takes [sign]
// "nan" in any case, not followed by "(", and gives glibc's strtod answer: the
// default quiet NaN, negated for "-"; false for any other text.
size_t writeNan(double value, char *out);
bool scanNan(const char *text, double *value);

// The fast paths alone; false (nothing written) where they cannot prove the
// C library's answer, so that the caller asks the C library.  They answer
// only with a C library known to round correctly (realtext.cpp).
//
// formatRealFast takes finite values whose six-digit rounding it can decide
// exactly: the value is scaled by one exact power of ten, so the scaled
// value is off by less than 2^-53 of itself, and a fraction farther than
// kTieMargin from one half rounds as the exact value does.  Near ties,
// outside about 1e-17 to 1e28, in a rounding mode other than to nearest, or where
// doubles are evaluated in wider registers, it declines.
bool formatRealFast(double value, char *out, size_t *length);
// Whether the fast paths answer at all here and now (the C library, the
// floating-point evaluation and the rounding mode allow them).
bool realFastPathsOn();
// scanRealFast takes [sign] digits "." digits, with at least one digit, no
// exponent after it, at most 2^53 as the integer of all its digits and at
// most 22 digits after the point: that integer and the power of ten are
// exact doubles, so one division gives the correctly rounded value, which
// is what the C library's conversion gives.
bool scanRealFast(const char *text, double *value);

}  // namespace vrd

#endif  // VRD_FILES_REALTEXT_H
