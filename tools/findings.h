// findings.h - what the loss checks find: reader limits named, and values that would not come back.
#ifndef VRD_TOOLS_FINDINGS_H
#define VRD_TOOLS_FINDINGS_H

#include <string>
#include <vector>

#include "args.h"
#include "vrd/vrd_internal.h"

namespace vrdtool {

enum class FindingKind {
    Detail,     // says which rule or limit a reader report (same code, same place) broke
    ReadLoss,   // reading the text already changes or drops the value
    WriteLoss,  // the value would not come back from the text the writer makes
};

// One finding.  Text findings have a line and column (from 1); store
// findings have a `where` instead (a path in the JSON mapping).
struct Finding {
    FindingKind kind;
    int code;  // the reader's code a Detail belongs to; 0 otherwise
    long line;
    long column;
    std::string where;
    std::string message;
};

using Findings = std::vector<Finding>;

// The reader's limits, which writing must stay within for a text to read back.
constexpr int kMaxDepth = 49;         // nested forms; a point group counts as one more level
constexpr int kMaxToken = 1999;       // bytes of a keyword or value token (longer ones are cut)
constexpr int kMaxString = 1998;      // bytes of a string (1999 or more is "Bad string")

// How the text would be written: the standard writer ("%g" reals) or the
// exact one.
struct WriteMode {
    bool exactReals;
};

// The text the writer in `mode` gives for a real, without its leading space.
std::string writtenReal(double value, WriteMode mode);

// A real in the fewest digits that give it back, for messages.
std::string shortest(double value);

// Why a real does not come back from the text `mode` writes, or "" when it
// does (same bits; a NaN keeps its sign only, as the exact writer says).
// The text lives as long as the program (each real is judged once).
const std::string &realLoss(double value, WriteMode mode);

// A store finding's place: the root's name (none when there is one root)
// and the jq path of the value ("." for the root form itself).
inline std::string place(const std::string &where, const std::string &path) {
    std::string p = "." + path;  // jq writes ".[3][1]", and "." for the value itself
    return where.empty() ? p : where + " " + p;
}

// A byte as the messages show it: itself when printable, else 0xNN.
std::string showBytes(const std::string &text, size_t limit = 40);

// Writes findings, one line each, to `out`: "PREFIX:LINE:COLUMN: warning: ..."
// for text findings, "PREFIX: WHERE: warning: ..." for store findings.
// Details are not printed here (they complete reader reports).
void printFindings(FILE *out, const std::string &prefix, const Findings &findings, size_t limit);

// The number of findings that are losses (not details).
size_t lossCount(const Findings &findings);

// The rule of every command that writes: losses are printed on stderr (at
// most ten, unless `quiet`), and unless `allowed` the command refuses with
// one line saying so.  True when the command may write.
bool acceptLosses(const char *command, const std::string &prefix, const Findings &findings, bool quiet, bool allowed);

// The options that choose how losses are met, for the commands that write text.
#define VRD_OPTION_EXACT_REALS                                                                          \
    ::vrdtool::OptionInfo {                                                                               \
        "exact-reals", 0, nullptr, "write each real with the fewest digits that read back the same\n"    \
                                   "(2.0, 166.964229, 1.0e+20), not with %g's six"                        \
    }
#define VRD_OPTION_ALLOW_LOSS                                                                  \
    ::vrdtool::OptionInfo {                                                                    \
        "allow-loss", 0, nullptr, "write even when values would not come back (each is still\n" \
                                  "reported unless -q); without it such a run writes nothing"  \
    }

}  // namespace vrdtool

#endif  // VRD_TOOLS_FINDINGS_H
