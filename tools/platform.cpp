// platform.cpp - the tool's file-system calls on POSIX and on Windows.
#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vrdtool {

#ifdef _WIN32

void useBinaryStdio() {
    for (int fd : {0, 1, 2}) _setmode(fd, _O_BINARY);
}

// Windows refuses to open a directory with EACCES (ENOENT when the path ends
// in a separator, which _stat64 refuses too); POSIX opens it for reading, and
// the tool then says EISDIR, as it does here at once.
int openFile(const char *path, int flags, int mode) {
    int fd = _open(path, flags | _O_BINARY, mode);
    if (fd >= 0 || (errno != EACCES && errno != ENOENT)) return fd;
    std::string bare(path);
    while (bare.size() > 1 && (bare.back() == '/' || bare.back() == '\\')) bare.pop_back();
    struct _stat64 st;
    if (_stat64(bare.c_str(), &st) == 0 && (st.st_mode & _S_IFDIR) != 0) errno = EISDIR;
    return fd;
}

int makeTemporaryFile(std::string &pathTemplate) {
    const std::string pattern = pathTemplate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        pathTemplate = pattern;
        if (_mktemp_s(pathTemplate.data(), pathTemplate.size() + 1) != 0) return -1;
        int fd = _sopen(pathTemplate.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

long long readAt(int fd, void *buffer, size_t n, long long offset) {
    long long at = _lseeki64(fd, 0, SEEK_CUR);
    if (at < 0 || _lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    long long got = _read(fd, buffer, static_cast<unsigned>(n));
    int error = errno;
    _lseeki64(fd, at, SEEK_SET);
    errno = error;
    return got;
}

std::string resolveLink(const char *path) { return path; }

void copyMode(int, const std::string &) {}

int syncFile(int fd) { return _commit(fd); }

int replaceFile(const std::string &from, const std::string &to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED: errno = EACCES; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO; break;
    }
    return -1;
}

std::string temporaryDirectory() {
    for (const char *name : {"TMPDIR", "TEMP", "TMP"}) {
        const char *dir = std::getenv(name);
        if (dir != nullptr && *dir != '\0') return dir;
    }
    return ".";
}

bool isTerminal(int fd) { return _isatty(fd) != 0; }

#else

void useBinaryStdio() {}

int openFile(const char *path, int flags, int mode) { return open(path, flags, mode); }

int makeTemporaryFile(std::string &pathTemplate) { return mkstemp(pathTemplate.data()); }

long long readAt(int fd, void *buffer, size_t n, long long offset) { return pread(fd, buffer, n, offset); }

std::string resolveLink(const char *path) {
    char resolved[PATH_MAX];
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode) && realpath(path, resolved) != nullptr) return resolved;
    return path;
}

void copyMode(int fd, const std::string &like) {
    struct stat st;
    mode_t mode;
    if (stat(like.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
}

int syncFile(int fd) { return fsync(fd); }

int replaceFile(const std::string &from, const std::string &to) { return std::rename(from.c_str(), to.c_str()); }

std::string temporaryDirectory() {
    const char *dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

bool isTerminal(int fd) { return isatty(fd) != 0; }

#endif

}  // namespace vrdtool
