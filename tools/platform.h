// platform.h - the file-system calls the tool needs that POSIX and Windows spell differently.
#ifndef VRD_TOOLS_PLATFORM_H
#define VRD_TOOLS_PLATFORM_H

#include <cstddef>
#include <string>

namespace vrdtool {

// Standard input, output and error carry bytes as they are: on Windows they
// start in text mode, which would turn every "\n" of a result into "\r\n" and
// cut input at a ^Z.  Called once, before anything is read or written.
void useBinaryStdio();

// The characters that end a directory part of a path.
#ifdef _WIN32
constexpr const char *kPathSeparators = "/\\";
#else
constexpr const char *kPathSeparators = "/";
#endif

// Opens `path` with open(2)'s flags; on Windows always in binary mode.
int openFile(const char *path, int flags, int mode = 0);

// Creates a new file from a template ending in XXXXXX (mkstemp), open for
// reading and writing; -1 with errno.  Other opens of the file stay possible
// while it is open (Windows' mkstemp would deny them; the library reopens it).
int makeTemporaryFile(std::string &pathTemplate);

// Reads up to `n` bytes at `offset` without moving the descriptor's position
// (as pread does); -1 with errno on failure.
long long readAt(int fd, void *buffer, size_t n, long long offset);

// The file a target path finally names: a symbolic link is followed, so the
// link stays and what it points to is replaced.  Windows: the path itself.
std::string resolveLink(const char *path);

// Gives a new file the permission bits `like` has, or those a new file would
// get when `like` does not exist.  Windows files have no such bits: nothing.
void copyMode(int fd, const std::string &like);

// Flushes a descriptor's data to the device; 0, or -1 with errno.
int syncFile(int fd);

// Moves `from` over `to`, replacing `to` at once when it exists (rename(2);
// on Windows rename refuses an existing target).  0, or -1 with errno.
int replaceFile(const std::string &from, const std::string &to);

// The directory for temporary files: $TMPDIR, else the system's.
std::string temporaryDirectory();

// True when the descriptor is a terminal.
bool isTerminal(int fd);

}  // namespace vrdtool

#endif  // VRD_TOOLS_PLATFORM_H
