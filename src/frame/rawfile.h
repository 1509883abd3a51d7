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
// One read of at most `bytes` bytes: how many arrived, 0 at the end, below
// 0 on an error.  Never more than asked, so a stream's later bytes stay.
long long rawReadSome(int fd, void *buffer, size_t bytes);
// Writes `bytes` bytes, looping over short writes; stops at the first error,
// which it keeps in the write-error record below.
void rawWrite(int fd, const void *data, size_t bytes);

// The first write failure since the record was last cleared: a write that
// failed, or one that moved no byte, with the system's error number (EIO
// when the system gave none).  Checked writers clear it, write, then read it.
struct RawWriteError {
    bool failed;
    int error;
};
void rawWriteErrorClear();
RawWriteError rawWriteError();
// Cuts a regular file at the descriptor's position (other files are left as
// they are), then closes the descriptor; a failure of either is kept in the
// write-error record.  False when the record holds a failure afterwards.
bool rawFinish(int fd);
// Bytes between the position and the end of a regular file; UINT64_MAX when
// the descriptor is not a regular file (its length is then unknown).
uint64_t rawRemaining(int fd);

}  // namespace vrd

#endif  // VRD_FRAME_RAWFILE_H
