// fileio.h - the vrd command's inputs and outputs: '-' for the standard streams, pipes, and outputs replaced only when complete.
#ifndef VRD_TOOLS_FILEIO_H
#define VRD_TOOLS_FILEIO_H

#include <string>
#include <string_view>

namespace vrdtool {

// A file named on the command line ("-" = standard input), read the way its
// kind needs: a text is held in memory (the reader and the loss scan both go
// over it); a binary file is read by the library from a path, which for a
// pipe or device is a spooled copy in the temporary directory, so the format
// sniff never eats what the reader needs.
struct Input {
    std::string name;        // for messages: the path, or "standard input"
    bool binary = false;     // starts with the binary format's version word 6
    std::string text;        // a text's bytes
    std::string binaryPath;  // a binary file's path for VRDfileReadBinary
    std::string spooled;     // the spooled copy to remove, if any
    ~Input();
};

// Opens and sniffs an input; false after a one-line message on stderr
// ("vrd: NAME: cannot read: REASON").
bool openInput(const char *path, Input &input);

// The name messages use for an output path (null or "-" = standard output).
std::string outputName(const char *path);

// Writes `data` to PATH (null or "-" = standard output).  A regular file is
// written to a temporary file beside it, synced, and renamed over it only
// when every write and the close succeeded, so a failure leaves the old file
// as it was.  A device or pipe (/dev/null, /dev/full) is written in place,
// every write checked.  False after a one-line message with the system's
// reason.
bool writeOutput(const char *path, std::string_view data);

// Dumps the current store as a binary file to PATH with the checked dump,
// the same way: beside the target and renamed; to standard output ("-") by
// way of a temporary file copied out.
bool writeBinaryOutput(const char *path);

// True when PATH (null or "-") is standard output and that is a terminal.
bool outputIsTerminal(const char *path);

}  // namespace vrdtool

#endif  // VRD_TOOLS_FILEIO_H
