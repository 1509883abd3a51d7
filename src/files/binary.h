// binary.h - the section writers and readers of the version-6 binary file.
#ifndef VRD_FILES_BINARY_H
#define VRD_FILES_BINARY_H

#include "frame/frame.h"

extern "C" {
// Each writer appends its section of the current store to the open
// descriptor and gives 0 (1 after -3 under its own name when there is no
// current store).  Short or failed writes are not reported.
int32_t VRD_CALL VRDkeyWriteBinary(int fd);
int32_t VRD_CALL VRDpointWriteBinary(int fd);
int32_t VRD_CALL VRDstringWriteBinary(int fd);
int32_t VRD_CALL VRDintWriteBinary(int fd);
int32_t VRD_CALL VRDrealWriteBinary(int fd);

// Each reader reads its section from the descriptor's position, checks it
// on its own and, when it is sound, replaces that pool of the current store;
// 0 on success.  Failures give 1 after a report: -11 (the file ends first)
// or -2 (no memory) under the reader's own name, the pool then left empty;
// -12 under "VRDfileReadBinary" when the section is malformed, the pool then
// untouched.  References between sections (a form holding a string, say)
// resolve only once all five sections are read: these readers are the steps
// of VRDfileReadBinary, which is what checks them.
int32_t VRD_CALL VRDkeyReadBinary(int fd);
int32_t VRD_CALL VRDpointReadBinary(int fd);
int32_t VRD_CALL VRDstringReadBinary(int fd);
int32_t VRD_CALL VRDintReadBinary(int fd);
int32_t VRD_CALL VRDrealReadBinary(int fd);
}

#endif  // VRD_FILES_BINARY_H
