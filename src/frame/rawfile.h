// rawfile.h - unbuffered whole-block file transfers over the platform's descriptor calls.
#ifndef VRD_FRAME_RAWFILE_H
#define VRD_FRAME_RAWFILE_H

#include <cstddef>
#include <cstdint>

namespace vrd {

// A descriptor open for reading in binary mode, or -1.
int rawOpenRead(const char *path);
// A descriptor open for writing in binary mode, the file created when absent
// and never truncated (an existing longer file keeps its tail), or -1.
int rawOpenWrite(const char *path);
void rawClose(int fd);

// Reads exactly `bytes` bytes; false when an error or the end came first.
bool rawRead(int fd, void *buffer, size_t bytes);
// Writes `bytes` bytes, looping over short writes; stops at the first error.
void rawWrite(int fd, const void *data, size_t bytes);
// Bytes between the position and the end of a regular file; UINT64_MAX when
// the descriptor is not a regular file (its length is then unknown).
uint64_t rawRemaining(int fd);

}  // namespace vrd

#endif  // VRD_FRAME_RAWFILE_H
