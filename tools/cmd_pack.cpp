// cmd_pack.cpp - `vrd pack` and `vrd unpack`: text notation to binary file and back.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "forms/forms.h"
#include "textload.h"
#include "vrd/vrd_internal.h"

namespace {

bool isHelp(const char *a) { return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0; }

void packUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd pack IN OUT\n"
                 "\n"
                 "Reads one form tree from the text file IN and writes the whole store\n"
                 "it makes to OUT as a version-6 binary file.  An existing OUT is\n"
                 "overwritten from its first byte.\n"
                 "\n"
                 "Options:\n"
                 "  --help   show this help and exit\n");
}

void unpackUsage(FILE *out) {
    std::fprintf(out,
                 "usage: vrd unpack IN [-o OUT]\n"
                 "\n"
                 "Reads the binary file IN and writes, in the text notation, every live\n"
                 "form without an owner, in key and form index order, to OUT (standard\n"
                 "output when OUT is absent or '-').\n"
                 "\n"
                 "Options:\n"
                 "  -o OUT   write to OUT instead of standard output\n"
                 "  --help   show this help and exit\n");
}

// The library's report while a file is read, kept for one message.
int lastCode = 0;
void VRD_CALL keepReport(const char *, int code) {
    if (lastCode == 0) lastCode = code;
}

int runPack(int argc, char **argv) {
    const char *paths[2] = {nullptr, nullptr};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (isHelp(argv[i])) {
            packUsage(stdout);
            return 0;
        }
        if ((argv[i][0] == '-' && argv[i][1] != '\0') || count == 2) {
            std::fprintf(stderr, "vrd pack: unexpected argument '%s' (try 'vrd pack --help')\n", argv[i]);
            return 2;
        }
        paths[count++] = argv[i];
    }
    if (count != 2) {
        packUsage(stderr);
        return 2;
    }
    if (VRDnew("pack") == nullptr) {
        std::fprintf(stderr, "vrd pack: cannot create a store\n");
        return 1;
    }
    VRDentity root;
    if (!vrdtool::loadTextFile(paths[0], 0, &root)) return 1;
    lastCode = 0;
    VRDerrorHandlerProc previous = VRDerrorHandler(keepReport);
    int32_t status = VRDfileWriteBinary(paths[1]);
    VRDerrorHandler(previous);
    if (status != 0) {
        std::fprintf(stderr, "vrd: %s: %s\n", paths[1], VRDerrorMessage(lastCode));
        return 1;
    }
    return 0;
}

// Reads a binary file into the current store; a one-line message on failure.
bool loadBinary(const char *path) {
    lastCode = 0;
    VRDerrorHandlerProc previous = VRDerrorHandler(keepReport);
    int32_t status = VRDfileReadBinary(path);
    VRDerrorHandler(previous);
    if (status == 0) return true;
    if (lastCode == VRD_E_OPEN)
        std::fprintf(stderr, "vrd: %s: cannot open for reading: %s\n", path, std::strerror(errno));
    else
        std::fprintf(stderr, "vrd: %s: %s\n", path, VRDerrorMessage(lastCode));
    return false;
}

// Writes every live form without an owner, in key and index order, into one
// buffer; each in the writer's layout.  False when the buffer could not
// take the last line end (printTextFileChar gives 1 on success, 0 on failure).
bool writeRoots(TextChannel *channel) {
    const VRDstore *s = VRDget(nullptr);
    uint32_t key = 0, index = 0;
    for (VRDentity f = vrd::nextRootForm(s, &key, &index); vrd::hasTag(f); f = vrd::nextRootForm(s, &key, &index))
        VRDfileWriteEntity(channel, 0, f, 1);
    return printTextFileChar(channel, '\n') != 0;
}

int runUnpack(int argc, char **argv) {
    const char *input = nullptr;
    const char *output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (isHelp(argv[i])) {
            unpackUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc && output == nullptr) {
            output = argv[++i];
        } else if ((argv[i][0] == '-' && argv[i][1] != '\0') || input != nullptr) {
            std::fprintf(stderr, "vrd unpack: unexpected argument '%s' (try 'vrd unpack --help')\n", argv[i]);
            return 2;
        } else {
            input = argv[i];
        }
    }
    if (input == nullptr) {
        unpackUsage(stderr);
        return 2;
    }
    if (VRDnew("unpack") == nullptr) {
        std::fprintf(stderr, "vrd unpack: cannot create a store\n");
        return 1;
    }
    if (!loadBinary(input)) return 1;
    TextChannel *buffer = openTextBuffer();
    if (buffer == nullptr || !writeRoots(buffer)) {
        std::fprintf(stderr, "vrd unpack: out of memory\n");
        if (buffer != nullptr) closeTextFile(buffer);
        return 1;
    }
    size_t length = 0;
    const char *text = textBufferData(buffer, &length);
    bool toStdout = output == nullptr || std::strcmp(output, "-") == 0;
    FILE *out = toStdout ? stdout : std::fopen(output, "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "vrd: %s: cannot open for writing: %s\n", output, std::strerror(errno));
        closeTextFile(buffer);
        return 1;
    }
    bool ok = std::fwrite(text, 1, length, out) == length;
    ok = (toStdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    closeTextFile(buffer);
    if (!ok) {
        std::fprintf(stderr, "vrd: %s: write failed\n", toStdout ? "standard output" : output);
        return 1;
    }
    return 0;
}

}  // namespace

VRD_COMMAND("pack", "pack IN OUT         store a text file's form tree as a binary file", runPack);
VRD_COMMAND("unpack", "unpack IN [-o OUT]  write a binary file's root forms as text", runUnpack);
