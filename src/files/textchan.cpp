// textchan.cpp - text channels: buffered files, caller's memory and growing buffers, a byte at a time.
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include <sys/stat.h>

#include "frame/frame.h"

namespace {
constexpr size_t kBlockSize = 64 * 1024;  // one read or write call per block
constexpr size_t kFirstBufferSize = 4096;
constexpr size_t kProgressStep = 1 << 20;  // bytes handed out between two progress calls

enum class Kind { ReadFile, WriteFile, ReadString, WriteBuffer };

}  // namespace

// A channel reads or writes, never both.  For the file kinds `block` holds
// up to kBlockSize bytes: when reading, bytes next..filled-1 are still to be
// handed out; when writing, bytes 0..filled-1 still have to reach the file.
// A buffer channel keeps capacity + 1 bytes so its contents can always be
// zero-terminated.
struct TextChannel {
    Kind kind;
    FILE *file;
    const char *text;  // ReadString: the caller's bytes
    char *block;
    size_t capacity;
    size_t filled;
    size_t next;
    bool ended;   // reading: the end has been met; it stays met
    bool failed;  // writing: a byte was lost; the channel stays failed
    long line;
    long column;
    bool afterNewline;
    TextProgressProc progress;  // reading: called every kProgressStep bytes
    void *progressContext;
    size_t handedOut;  // reading: bytes handed out so far
};

namespace {

TextChannel *newChannel(Kind kind) {
    auto *c = static_cast<TextChannel *>(mallocMem(sizeof(TextChannel)));
    if (c == nullptr) return nullptr;
    *c = TextChannel{kind, nullptr, nullptr, nullptr, 0, 0, 0, false, false, 0, 0, false, nullptr, nullptr, 0};
    return c;
}

// Keeps the line and column of the last byte that passed through.
void advancePosition(TextChannel *c, unsigned char byte) {
    if (c->line == 0 || c->afterNewline) {
        ++c->line;
        c->column = 1;
    } else {
        ++c->column;
    }
    c->afterNewline = byte == '\n';
}

// Refills the read block; false at the end of the file or on a read error,
// both of which end the input for good.
bool refill(TextChannel *c) {
    if (c->ended) return false;
    size_t got = std::fread(c->block, 1, c->capacity, c->file);
    if (got == 0) {
        c->ended = true;
        return false;
    }
    c->filled = got;
    c->next = 0;
    return true;
}

// Hands the written block to the file; a short write fails the channel.
bool flush(TextChannel *c) {
    if (c->filled == 0) return !c->failed;
    size_t put = std::fwrite(c->block, 1, c->filled, c->file);
    if (put != c->filled) c->failed = true;
    c->filled = 0;
    return !c->failed;
}

// Room for one more byte of a buffer channel (plus its terminator).
bool reserveByte(TextChannel *c) {
    if (c->filled < c->capacity) return true;
    size_t capacity = c->capacity * 2;
    if (!vrd::growBlock(c->block, capacity + 1)) return false;
    c->capacity = capacity;
    return true;
}

bool putByte(TextChannel *c, unsigned char byte) {
    if (c == nullptr || c->failed) return false;
    switch (c->kind) {
    case Kind::WriteFile:
        if (c->filled == c->capacity && !flush(c)) return false;
        c->block[c->filled++] = static_cast<char>(byte);
        break;
    case Kind::WriteBuffer:
        if (!reserveByte(c)) {
            c->failed = true;
            return false;
        }
        c->block[c->filled++] = static_cast<char>(byte);
        c->block[c->filled] = '\0';
        break;
    default:
        return false;
    }
    advancePosition(c, byte);
    return true;
}

// Writes a zero-terminated text; the bytes written, or -1.
int putText(TextChannel *c, const char *text) {
    int written = 0;
    for (; *text != '\0'; ++text, ++written)
        if (!putByte(c, static_cast<unsigned char>(*text))) return -1;
    return written;
}

// A directory opens as a stream on some systems yet yields no bytes; it is
// refused like any file that cannot be opened, so callers say so.
bool isDirectory(FILE *file) {
#if defined(_WIN32)
    struct _stat st;
    return _fstat(_fileno(file), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
#else
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

}  // namespace

extern "C" {

TextChannel *VRD_CALL openTextFile(const char *path, const char *mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    bool reading = std::strcmp(mode, "r") == 0;
    if (!reading && std::strcmp(mode, "w") != 0) return nullptr;
    TextChannel *c = newChannel(reading ? Kind::ReadFile : Kind::WriteFile);
    if (c == nullptr) return nullptr;
    c->block = static_cast<char *>(mallocMem(kBlockSize));
    if (c->block == nullptr) {
        freeMem(c);
        return nullptr;
    }
    c->capacity = kBlockSize;
    // Binary mode: every byte reaches the reader and the file unchanged.
    c->file = std::fopen(path, reading ? "rb" : "wb");
    if (c->file != nullptr && reading && isDirectory(c->file)) {
        std::fclose(c->file);
        c->file = nullptr;
        errno = EISDIR;  // what callers print
    }
    if (c->file == nullptr) {
        freeMem(c->block);
        freeMem(c);
        return nullptr;
    }
    // The channel's own block is the only buffer between it and the file.
    std::setvbuf(c->file, nullptr, _IONBF, 0);
    return c;
}

TextChannel *VRD_CALL openTextString(const char *text, size_t length) {
    if (text == nullptr && length != 0) return nullptr;
    TextChannel *c = newChannel(Kind::ReadString);
    if (c == nullptr) return nullptr;
    c->text = text;
    c->filled = length;
    return c;
}

TextChannel *VRD_CALL openTextBuffer(void) {
    TextChannel *c = newChannel(Kind::WriteBuffer);
    if (c == nullptr) return nullptr;
    c->block = static_cast<char *>(mallocMem(kFirstBufferSize + 1));
    if (c->block == nullptr) {
        freeMem(c);
        return nullptr;
    }
    c->capacity = kFirstBufferSize;
    c->block[0] = '\0';
    return c;
}

const char *VRD_CALL textBufferData(TextChannel *channel, size_t *length) {
    if (channel == nullptr || channel->kind != Kind::WriteBuffer) return nullptr;
    if (length != nullptr) *length = channel->filled;
    return channel->block;
}

int VRD_CALL closeTextFile(TextChannel *channel) {
    if (channel == nullptr) return -1;
    bool ok = !channel->failed;
    if (channel->kind == Kind::WriteFile) ok = flush(channel) && ok;
    if (channel->file != nullptr && std::fclose(channel->file) != 0 && channel->kind == Kind::WriteFile) ok = false;
    freeMem(channel->block);
    freeMem(channel);
    return ok ? 0 : -1;
}

int VRD_CALL readTextFileChar(TextChannel *channel, char *character) {
    TextChannel *c = channel;
    bool have = false;
    if (c != nullptr && !c->ended) {
        if (c->kind == Kind::ReadString) {
            have = c->next < c->filled;
            if (!have) c->ended = true;
        } else if (c->kind == Kind::ReadFile) {
            have = c->next < c->filled || refill(c);
        }
    }
    if (!have) {
        if (character != nullptr) *character = static_cast<char>(-1);
        return 0;
    }
    const char *source = c->kind == Kind::ReadString ? c->text : c->block;
    char byte = source[c->next++];
    advancePosition(c, static_cast<unsigned char>(byte));
    if (c->progress != nullptr && ++c->handedOut % kProgressStep == 0) c->progress(c->progressContext, c->handedOut);
    if (character != nullptr) *character = byte;
    return 1;
}

int VRD_CALL printTextFileChar(TextChannel *channel, int character) {
    return putByte(channel, static_cast<unsigned char>(character)) ? 1 : 0;
}

int printTextFile(TextChannel *channel, const char *format, ...) {
    if (channel == nullptr || format == nullptr) return -1;
    va_list args;
    va_start(args, format);
    int written = 0;
    int status = 0;
    for (const char *p = format; status == 0 && *p != '\0'; ++p) {
        if (*p != '%') {
            status = putByte(channel, static_cast<unsigned char>(*p)) ? 0 : -1;
            ++written;
            continue;
        }
        char number[48];
        const char *piece = number;
        switch (*++p) {
        case 's':
            piece = va_arg(args, const char *);
            if (piece == nullptr) piece = "";
            break;
        case 'g':
            std::snprintf(number, sizeof number, "%g", va_arg(args, double));
            break;
        case 'l':
            std::snprintf(number, sizeof number, "%ld", static_cast<long>(static_cast<int32_t>(va_arg(args, int))));
            break;
        case '%':
            piece = "%";
            break;
        default:  // an unknown directive, or a lone "%" at the end
            status = -1;
            continue;
        }
        int n = putText(channel, piece);
        if (n < 0) status = -1;
        written += n;
    }
    va_end(args);
    return status == 0 ? written : -1;
}

int VRD_CALL textChannelSetProgress(TextChannel *channel, TextProgressProc hook, void *context) {
    if (channel == nullptr || (channel->kind != Kind::ReadFile && channel->kind != Kind::ReadString)) return -1;
    channel->progress = hook;
    channel->progressContext = context;
    channel->handedOut = 0;
    return 0;
}

int VRD_CALL textChannelPosition(TextChannel *channel, long *line, long *column) {
    if (channel == nullptr) return -1;
    if (line != nullptr) *line = channel->line;
    if (column != nullptr) *column = channel->column;
    return 0;
}

}  // extern "C"
