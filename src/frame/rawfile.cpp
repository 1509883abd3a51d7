// rawfile.cpp - the descriptor calls behind the binary file, POSIX and Windows.
#include "frame/rawfile.h"

#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdio.h>  // SEEK_CUR, which unistd.h brings on POSIX
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// One call moves at most this many bytes: the Windows calls take an
// unsigned int count, and POSIX may return short counts for large requests.
constexpr size_t kMaxTransfer = INT_MAX / 2;

#ifdef _WIN32
// Windows refuses to open a directory with EACCES (ENOENT when the path ends
// in a separator, which _stat64 refuses too); the reason callers pass on is
// POSIX's, EISDIR.
int directoryAware(int fd, const char *path) {
    if (fd >= 0 || (errno != EACCES && errno != ENOENT)) return fd;
    char bare[1024];  // a longer path keeps the system's reason
    size_t n = std::strlen(path);
    if (n >= sizeof bare) return fd;
    std::memcpy(bare, path, n + 1);
    while (n > 1 && (bare[n - 1] == '/' || bare[n - 1] == '\\')) bare[--n] = '\0';
    struct _stat64 st;
    if (_stat64(bare, &st) == 0 && (st.st_mode & _S_IFDIR) != 0) errno = EISDIR;
    return fd;
}
int openRead(const char *path) { return directoryAware(_open(path, _O_RDONLY | _O_BINARY), path); }
int openWrite(const char *path) {
    return directoryAware(_open(path, _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE), path);
}
long long readSome(int fd, void *p, size_t n) { return _read(fd, p, static_cast<unsigned>(n)); }
long long writeSome(int fd, const void *p, size_t n) { return _write(fd, p, static_cast<unsigned>(n)); }
void closeFd(int fd) { _close(fd); }
int closeChecked(int fd) { return _close(fd); }
int truncateHere(int fd) {
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) return 0;
    long long at = _lseeki64(fd, 0, SEEK_CUR);
    return at < 0 ? -1 : _chsize_s(fd, at) == 0 ? 0 : -1;
}
uint64_t remaining(int fd) {
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) return UINT64_MAX;
    long long at = _lseeki64(fd, 0, SEEK_CUR);
    return at < 0 || at > st.st_size ? 0 : static_cast<uint64_t>(st.st_size - at);
}
#else
int openRead(const char *path) { return open(path, O_RDONLY); }
int openWrite(const char *path) { return open(path, O_WRONLY | O_CREAT, 0666); }
long long readSome(int fd, void *p, size_t n) { return read(fd, p, n); }
long long writeSome(int fd, const void *p, size_t n) { return write(fd, p, n); }
void closeFd(int fd) { close(fd); }
int closeChecked(int fd) { return close(fd); }
int truncateHere(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at < 0 ? -1 : ftruncate(fd, at);
}
uint64_t remaining(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return UINT64_MAX;
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at < 0 || at > st.st_size ? 0 : static_cast<uint64_t>(st.st_size - at);
}
#endif

// Only the first failure is kept: later ones follow from it.
vrd::RawWriteError writeError{false, 0};

void keepWriteError() {
    if (writeError.failed) return;
    writeError = vrd::RawWriteError{true, errno != 0 ? errno : EIO};
}
}  // namespace

namespace vrd {

int rawOpenRead(const char *path) { return openRead(path); }
int rawOpenWrite(const char *path) { return openWrite(path); }
void rawClose(int fd) { closeFd(fd); }

bool rawRead(int fd, void *buffer, size_t bytes) {
    auto *p = static_cast<char *>(buffer);
    while (bytes > 0) {
        long long got = readSome(fd, p, bytes < kMaxTransfer ? bytes : kMaxTransfer);
        if (got <= 0) return false;
        p += got;
        bytes -= static_cast<size_t>(got);
    }
    return true;
}

long long rawReadSome(int fd, void *buffer, size_t bytes) {
    return readSome(fd, buffer, bytes < kMaxTransfer ? bytes : kMaxTransfer);
}

void rawWrite(int fd, const void *data, size_t bytes) {
    auto *p = static_cast<const char *>(data);
    while (bytes > 0) {
        errno = 0;
        long long put = writeSome(fd, p, bytes < kMaxTransfer ? bytes : kMaxTransfer);
        if (put <= 0) {
            keepWriteError();
            return;
        }
        p += put;
        bytes -= static_cast<size_t>(put);
    }
}

uint64_t rawRemaining(int fd) { return remaining(fd); }

void rawWriteErrorClear() { writeError = RawWriteError{false, 0}; }
RawWriteError rawWriteError() { return writeError; }

bool rawFinish(int fd) {
    errno = 0;
    if (!writeError.failed && truncateHere(fd) != 0) keepWriteError();
    errno = 0;
    if (closeChecked(fd) != 0) keepWriteError();
    return !writeError.failed;
}

}  // namespace vrd
