// storewalk.h - the loss check of a tree in the store: what the writer's text would not give back.
#ifndef VRD_TOOLS_STOREWALK_H
#define VRD_TOOLS_STOREWALK_H

#include <functional>
#include <string>

#include "findings.h"

namespace vrdtool {

// Walks the tree of `root` as the writer does (killed forms left out, a
// form met again inside itself left out) and adds a WriteLoss to `out` for
// every value whose text would not read back the same: reals (per `mode`),
// strings holding '"' or 0xFF or longer than the reader takes, identifiers
// and keywords that would not read back as the same token, an empty keyword
// before a value, forms or point groups nested deeper than the reader's 49
// levels, forms that hold themselves, and entities that name nothing.
// `where` names the root (for example "root 2"); a finding's place is that
// name and the value's path in the JSON mapping (".[3][1]": the entity at
// list position 2 of the form at position 2 of the root).
void walkTree(VRDentity root, WriteMode mode, const std::string &where, Findings &out);

// The loss of writing a text as an identifier or a keyword, or "".
std::string identifierLoss(const std::string &text);
std::string keywordLoss(const std::string &text);

// Calls `visit` with every live form without an owner, in key and form
// index order: the roots a binary file holds.
void forEachRoot(const std::function<void(VRDentity)> &visit);

// Walks every root; each is named "root N" when there are several.
void walkRoots(WriteMode mode, Findings &out);

}  // namespace vrdtool

#endif  // VRD_TOOLS_STOREWALK_H
