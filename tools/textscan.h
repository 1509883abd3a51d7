// textscan.h - a second look at a text, token by token as the reader takes it, for what reading or writing would lose.
#ifndef VRD_TOOLS_TEXTSCAN_H
#define VRD_TOOLS_TEXTSCAN_H

#include <functional>
#include <string_view>

#include "findings.h"

namespace vrdtool {

// Scans a text in the free-standing mode with case flags 0, following the
// reader's rules step for step (so it stops where the reader stops), and
// finds:
// - Details for the reader's reports -4 to -9, at the place the reader
//   reports them: the limit or rule broken ("nesting deeper than 49 levels");
// - ReadLosses: values that reading already changes (integers beyond 32
//   bits, bytes that cannot begin a value, NUL bytes, tokens over the
//   reader's length, real tokens with characters after the number, text
//   after a 0xFF byte, reals the real table merges with another);
// - WriteLosses: reals that would not come back from the text the writer in
//   `mode` makes.
// `storedReal` gives the real the store holds for a value read (the real
// table may have merged it with an earlier one); null skips that check.
Findings scanText(std::string_view text, WriteMode mode, const std::function<double(double)> &storedReal);

}  // namespace vrdtool

#endif  // VRD_TOOLS_TEXTSCAN_H
