// textload.h - reading and writing form trees in the text notation for the vrd subcommands.
#ifndef VRD_TOOLS_TEXTLOAD_H
#define VRD_TOOLS_TEXTLOAD_H

#include "vrd/vrd_internal.h"

namespace vrdtool {

// Reads one form from a text file into the current store; prints
// "vrd: PATH: MESSAGE" on stderr and returns false when the file cannot be
// opened or the read fails (any error reported while reading counts).
bool loadTextFile(const char *path, int caseFlags, VRDentity *root);

// Writes an entity in the writer's layout to PATH (null or "-" = standard
// output), ending with a line feed; false with a one-line message on failure.
bool writeTextFile(const char *path, VRDentity entity, int caseFlags, bool indent);

}  // namespace vrdtool

#endif  // VRD_TOOLS_TEXTLOAD_H
