// fileio.cpp - inputs read whole or spooled, outputs written beside their target and renamed into place.
#include "fileio.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform.h"
#include "vrd/vrd_internal.h"

namespace vrdtool {

namespace {

bool isStandard(const char *path) { return path == nullptr || std::strcmp(path, "-") == 0; }

bool fail(const std::string &name, const char *what, int error) {
    std::fprintf(stderr, "vrd: %s: %s: %s\n", name.c_str(), what, std::strerror(error));
    return false;
}

// Reads everything from a descriptor; errno is kept on failure.
bool readAll(int fd, std::string &out) {
    char block[1 << 16];
    for (;;) {
        ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        out.append(block, static_cast<size_t>(got));
    }
}

// Writes all of `data`; errno is kept on failure (EIO for a write that moved nothing).
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t put = write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

bool startsBinary(std::string_view head) { return head.size() >= 4 && head.substr(0, 4) == std::string_view("\6\0\0\0", 4); }

// A new file in the temporary directory (for spooling); -1 with errno.
int makeTemporary(std::string &path) {
    path = temporaryDirectory() + "/vrd.XXXXXX";
    return makeTemporaryFile(path);
}

std::string resolveTarget(const char *path) { return resolveLink(path); }

// A temporary file beside `target` (same directory, so rename is atomic),
// with the mode the target has, or the one a new file would get.
int makeBeside(const std::string &target, std::string &temp) {
    size_t slash = target.find_last_of(kPathSeparators);
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    temp = dir + "." + base + ".vrd-XXXXXX";
    int fd = makeTemporaryFile(temp);
    if (fd < 0) return -1;
    copyMode(fd, target);
    return fd;
}

// Syncs, closes and renames a finished temporary file over its target; on
// any failure removes it and keeps errno.
bool commitBeside(int fd, const std::string &temp, const std::string &target) {
    bool ok = syncFile(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && replaceFile(temp, target) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        errno = error;
    }
    return ok;
}

// What kind of target a path is: absent or a regular file (replaced by
// rename), a directory (refused), or anything else (written in place).
enum class Target { Replace, Directory, InPlace };
Target targetKind(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return Target::Replace;
    return S_ISDIR(st.st_mode) ? Target::Directory : Target::InPlace;
}

bool writeInPlace(const std::string &path, std::string_view data) {
    int fd = openFile(path.c_str(), O_WRONLY);
    if (fd < 0) return fail(path, "cannot open for writing", errno);
    bool ok = writeAll(fd, data);
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    return ok || fail(path, "cannot write", error);
}

bool keepOldFile(const std::string &name, int error) {
    std::fprintf(stderr, "vrd: %s: cannot write: %s; the file is left as it was\n", name.c_str(), std::strerror(error));
    return false;
}

}  // namespace

Input::~Input() {
    if (!spooled.empty()) unlink(spooled.c_str());
}

bool openInput(const char *path, Input &input) {
    bool standard = std::strcmp(path, "-") == 0;
    input.name = standard ? "standard input" : path;
    int fd = standard ? 0 : openFile(path, O_RDONLY);
    // EISDIR comes from open only on Windows; elsewhere fstat finds the directory.
    if (fd < 0) return fail(input.name, errno == EISDIR ? "cannot read" : "cannot open", errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        if (!standard) close(fd);
        return fail(input.name, "cannot read", error);
    }
    if (S_ISREG(st.st_mode) && !standard) {
        // A named regular file: a binary one is left for the library to read.
        char head[4];
        long long got = readAt(fd, head, sizeof head, 0);
        if (got == 4 && startsBinary(std::string_view(head, 4))) {
            close(fd);
            input.binary = true;
            input.binaryPath = path;
            return true;
        }
    }
    if (S_ISREG(st.st_mode)) input.text.reserve(static_cast<size_t>(st.st_size));
    bool ok = readAll(fd, input.text);
    int error = errno;
    if (!standard) close(fd);
    if (!ok) return fail(input.name, "cannot read", error);
    if (!startsBinary(input.text)) return true;
    input.binary = true;
    if (S_ISREG(st.st_mode) && !standard) {
        input.binaryPath = path;
    } else {
        int spool = makeTemporary(input.spooled);
        if (spool < 0) return fail(input.name, "cannot spool to a temporary file", errno);
        ok = writeAll(spool, input.text);
        error = errno;
        if (close(spool) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (!ok) return fail(input.name, "cannot spool to a temporary file", error);
        input.binaryPath = input.spooled;
    }
    input.text.clear();
    input.text.shrink_to_fit();
    return true;
}

std::string outputName(const char *path) { return isStandard(path) ? "standard output" : path; }

bool outputIsTerminal(const char *path) { return isStandard(path) && isTerminal(1); }

bool writeOutput(const char *path, std::string_view data) {
    if (isStandard(path)) {
        std::fflush(stdout);
        return writeAll(1, data) || fail("standard output", "cannot write", errno);
    }
    std::string target = resolveTarget(path);
    switch (targetKind(target)) {
    case Target::Directory:
        return fail(path, "cannot write", EISDIR);
    case Target::InPlace:
        return writeInPlace(target, data);
    case Target::Replace:
        break;
    }
    std::string temp;
    int fd = makeBeside(target, temp);
    if (fd < 0) return keepOldFile(path, errno);
    if (!writeAll(fd, data)) {
        int error = errno;
        close(fd);
        unlink(temp.c_str());
        return keepOldFile(path, error);
    }
    return commitBeside(fd, temp, target) || keepOldFile(path, errno);
}

bool writeBinaryOutput(const char *path) {
    // The library's checked dump reports through the handler; the message
    // printed here carries the system's reason, which it leaves in errno.
    VRDerrorHandlerProc previous = VRDerrorHandler(nullptr);
    bool ok;
    int error = 0;
    std::string target = isStandard(path) ? std::string() : resolveTarget(path);
    Target kind = isStandard(path) ? Target::Replace : targetKind(target);
    if (kind == Target::Directory) {
        VRDerrorHandler(previous);
        return fail(path, "cannot write", EISDIR);
    }
    if (kind == Target::InPlace) {
        ok = VRDfileWriteBinaryChecked(target.c_str()) == 0;
        error = errno;
        VRDerrorHandler(previous);
        return ok || fail(path, "cannot write", error);
    }
    std::string temp;
    int fd = isStandard(path) ? makeTemporary(temp) : makeBeside(target, temp);
    if (fd < 0) {
        error = errno;
        VRDerrorHandler(previous);
        return isStandard(path) ? fail("standard output", "cannot make a temporary file", error) : keepOldFile(path, error);
    }
    ok = VRDfileWriteBinaryChecked(temp.c_str()) == 0;
    error = errno;
    VRDerrorHandler(previous);
    if (ok && isStandard(path)) {
        // The dump is copied out from the start of the temporary file.
        std::string bytes;
        ok = lseek(fd, 0, SEEK_SET) == 0 && readAll(fd, bytes);
        error = errno;
        close(fd);
        unlink(temp.c_str());
        if (!ok) return fail("standard output", "cannot read back the temporary file", error);
        return writeOutput(nullptr, bytes);
    }
    if (!ok) {
        close(fd);
        unlink(temp.c_str());
        return isStandard(path) ? fail("standard output", "cannot write a temporary file", error) : keepOldFile(path, error);
    }
    return commitBeside(fd, temp, target) || keepOldFile(path, errno);
}

}  // namespace vrdtool
