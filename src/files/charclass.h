// charclass.h - the ANSI (Windows-1252) character classification the text reader relies on.
#ifndef VRD_FILES_CHARCLASS_H
#define VRD_FILES_CHARCLASS_H

namespace vrd {

// Each takes a byte, as char (signed or not) or as an unsigned value: only
// its low eight bits count.  Letters are those of Windows-1252; digits are
// "0" to "9"; nothing else is alphanumeric.
bool isCharAlpha(int c);
bool isCharAlphaNumeric(int c);
bool isCharLower(int c);
bool isCharUpper(int c);

// The C locale's case mapping: only "a"-"z" and "A"-"Z" change.
constexpr int toUpperAscii(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
constexpr int toLowerAscii(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

}  // namespace vrd

#endif  // VRD_FILES_CHARCLASS_H
