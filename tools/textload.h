// textload.h - reading inputs into the store for the vrd subcommands, with the reader's reports and the loss scan.
#ifndef VRD_TOOLS_TEXTLOAD_H
#define VRD_TOOLS_TEXTLOAD_H

#include <string>
#include <vector>

#include "fileio.h"
#include "findings.h"

namespace vrdtool {

// A reader report with its place and, where the loss scan knows it, the
// rule or limit broken: "Bad form: nesting deeper than 49 levels".
struct ReaderReport {
    int code;
    long line;
    long column;
    std::string message;
};

// What reading a text gave.
struct LoadedText {
    VRDentity root{0, 0};
    bool built = true;  // false when building the store failed (out of memory)
    std::vector<ReaderReport> reports;
    Findings losses;  // ReadLoss and WriteLoss findings of the scan, in text order
};

// Reads the input's text into the current store, then scans it for losses
// (WriteLosses judged by `mode`).  Shows progress for a large text.
// `scan` off skips the scan, for a command that writes nothing back.
LoadedText readText(const Input &input, int caseFlags, WriteMode mode, bool quiet, bool scan = true);

// Reads an input (text or binary) into the current store for a command
// that needs a sound store: on any reader report, a binary file the library
// refuses, or a store that cannot be made, prints one line and gives the
// exit status in *status (1 for the data, 2 when it cannot be read).  A
// text's losses are left in `losses`; a binary file has none of reading.
// `roots` takes the root forms: the text's one, or every root of a binary file.
bool loadInput(const Input &input, int caseFlags, WriteMode mode, bool quiet, std::vector<VRDentity> &roots,
               Findings &losses, int *status, bool scan = true);

// Reads a binary file into the current store; false after one line on stderr
// naming the file and the library's message.
bool loadBinary(const Input &input);

// Text of the findings that are ReadLosses only.
Findings readLossesOf(const Findings &all);

// Writes an entity tree (or several roots, in order) into memory in the
// writer's layout, ending with a line feed; false when memory ran out.
bool writeTextTo(std::string &out, const std::vector<VRDentity> &roots, int caseFlags, bool indent, WriteMode mode);

}  // namespace vrdtool

#endif  // VRD_TOOLS_TEXTLOAD_H
