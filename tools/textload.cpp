// textload.cpp - text-file loading and writing shared by the vrd subcommands.
#include "textload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The first report met while loading, with the place it was met.
struct FirstReport {
    TextChannel *channel;
    int code;
    long line;
    long column;
};
FirstReport first;

void VRD_CALL keepFirstReport(const char *, int code) {
    if (first.code != 0) return;
    first.code = code;
    textChannelPosition(first.channel, &first.line, &first.column);
}

bool isStandardOutput(const char *path) { return path == nullptr || std::strcmp(path, "-") == 0; }

}  // namespace

namespace vrdtool {

bool loadTextFile(const char *path, int caseFlags, VRDentity *root) {
    errno = 0;
    TextChannel *channel = openTextFile(path, "r");
    if (channel == nullptr) {
        std::fprintf(stderr, "vrd: %s: cannot open for reading: %s\n", path,
                     errno != 0 ? std::strerror(errno) : "out of memory");
        return false;
    }
    first = FirstReport{channel, 0, 0, 0};
    VRDerrorHandlerProc previous = VRDerrorHandler(keepFirstReport);
    int32_t status = VRDfileReadEntity(channel, VRDnullEntity(), -1, caseFlags, root);
    VRDerrorHandler(previous);
    closeTextFile(channel);
    if (first.code != 0) {
        std::fprintf(stderr, "vrd: %s: %s (line %ld, column %ld)\n", path, VRDerrorMessage(first.code), first.line,
                     first.column);
        return false;
    }
    if (status != 0) {
        std::fprintf(stderr, "vrd: %s: the text could not be read\n", path);
        return false;
    }
    return true;
}

bool writeTextFile(const char *path, VRDentity entity, int caseFlags, bool indent) {
    bool toStdout = isStandardOutput(path);
    const char *name = toStdout ? "standard output" : path;
    errno = 0;
    TextChannel *channel = toStdout ? openTextBuffer() : openTextFile(path, "w");
    if (channel == nullptr) {
        std::fprintf(stderr, "vrd: %s: cannot open for writing: %s\n", name,
                     errno != 0 ? std::strerror(errno) : "out of memory");
        return false;
    }
    VRDfileWriteEntity(channel, caseFlags, entity, indent ? 1 : 0);
    printTextFileChar(channel, '\n');
    bool ok = true;
    if (toStdout) {
        size_t length = 0;
        const char *text = textBufferData(channel, &length);
        ok = std::fwrite(text, 1, length, stdout) == length && std::fflush(stdout) == 0;
    }
    if (closeTextFile(channel) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "vrd: %s: write failed\n", name);
    return ok;
}

}  // namespace vrdtool
