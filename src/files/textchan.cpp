// textchan.cpp - text channels: buffered files, caller's memory and growing buffers, by the byte or in bulk.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include <sys/stat.h>

#include "files/channel.h"
#include "files/realtext.h"

namespace {
using vrd::ChannelKind;

constexpr size_t kBlockSize = 64 * 1024;  // one read or write call per block
constexpr size_t kFirstBufferSize = 4096;
constexpr uint64_t kProgressStep = 1 << 20;  // bytes handed out between two progress calls

TextChannel *newChannel(ChannelKind kind) {
    auto *c = static_cast<TextChannel *>(mallocMem(sizeof(TextChannel)));
    if (c == nullptr) return nullptr;
    *c = TextChannel{};
    c->kind = kind;
    return c;
}

bool isWriting(const TextChannel *c) { return c->kind >= ChannelKind::WriteFile; }

// Line feeds in [from, to).  A whole file's bytes pass through here, so
// they are counted 16 at a time in byte-wide lanes (the compiler makes one
// wide compare and add of them), each lane emptied before it can wrap.
long countFeeds(const unsigned char *from, const unsigned char *to) {
    constexpr size_t kLanes = 16;
    constexpr size_t kRounds = 255;  // a lane counts at most one feed per round
    size_t n = static_cast<size_t>(to - from);
    size_t feeds = 0;
    size_t i = 0;
    while (n - i >= kLanes) {
        size_t stop = i + std::min((n - i) / kLanes, kRounds) * kLanes;
        uint8_t lanes[kLanes] = {};
        for (; i < stop; i += kLanes)
            for (size_t j = 0; j < kLanes; ++j) lanes[j] = static_cast<uint8_t>(lanes[j] + (from[i + j] == '\n'));
        for (uint8_t lane : lanes) feeds += lane;
    }
    for (; i < n; ++i) feeds += from[i] == '\n' ? 1 : 0;
    return static_cast<long>(feeds);
}

// Brings line and column over the bytes [from, to) as if they had passed one
// at a time: a byte starts a line when it is the first of the text or
// follows a line feed, and every other byte moves one column on.
void countPosition(TextChannel *c, const unsigned char *from, const unsigned char *to) {
    if (from == to) return;
    const unsigned char *last = to - 1;
    bool startsLine = c->line == 0 || c->afterNewline;
    long feeds = countFeeds(from, last);
    if (feeds > 0) {
        const unsigned char *lastFeed = last - 1;
        while (*lastFeed != '\n') --lastFeed;
        c->line += feeds + (startsLine ? 1 : 0);
        c->column = static_cast<long>(to - (lastFeed + 1));
    } else if (startsLine) {
        ++c->line;
        c->column = static_cast<long>(to - from);
    } else {
        c->column += static_cast<long>(to - from);
    }
    c->afterNewline = *last == '\n';
}

// Counts what has passed through since the last count.
void syncPosition(TextChannel *c) {
    if (isWriting(c)) {
        auto *bytes = reinterpret_cast<const unsigned char *>(c->block);
        countPosition(c, bytes + c->counted, bytes + c->filled);
        c->counted = c->filled;
    } else {
        countPosition(c, c->countedTo, c->cur);
        c->countedTo = c->cur;
    }
}

uint64_t handedOut(const TextChannel *c) { return c->baseOffset + static_cast<uint64_t>(c->cur - c->base); }

// Lets bytes be taken directly up to the one that completes the next
// progress step (or to the end of the bytes at hand).
void setLimit(TextChannel *c) {
    c->limit = c->end;
    if (c->progress == nullptr) return;
    uint64_t done = handedOut(c) - c->progressFrom;
    uint64_t stepByte = c->progressFrom + (done / kProgressStep + 1) * kProgressStep - 1;
    if (stepByte < c->baseOffset + static_cast<uint64_t>(c->end - c->base))
        c->limit = c->base + (stepByte - c->baseOffset);
}

// Puts new bytes at hand: the next block of the file.  False at the end of
// the file or on a read error, both of which end the input for good.
bool refill(TextChannel *c) {
    if (c->ended) return false;
    size_t got = 0;
    if (c->kind == ChannelKind::ReadFile) {
        syncPosition(c);  // the old block's bytes are counted before they go
        got = std::fread(c->block, 1, c->capacity, c->file);
    }
    if (got == 0) {
        c->ended = true;
        return false;
    }
    c->baseOffset = handedOut(c);
    c->base = reinterpret_cast<const unsigned char *>(c->block);
    c->cur = c->countedTo = c->base;
    c->end = c->base + got;
    setLimit(c);
    return true;
}

// Hands the written block to the file; a short write fails the channel.
bool flush(TextChannel *c) {
    syncPosition(c);
    c->counted = 0;
    if (c->filled == 0) return !c->failed;
    size_t put = std::fwrite(c->block, 1, c->filled, c->file);
    if (put != c->filled) c->failed = true;
    c->filled = 0;
    return !c->failed;
}

// Room for at least one more byte: a file's block goes to the file, a
// buffer doubles.  False (the channel failed) when neither worked.
bool makeRoom(TextChannel *c) {
    if (c->kind == ChannelKind::WriteFile) return flush(c);
    size_t capacity = c->capacity * 2;
    if (!vrd::growBlock(c->block, capacity + 1)) {
        c->failed = true;
        return false;
    }
    c->capacity = capacity;
    return true;
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

namespace vrd {

int takeSlow(TextChannel *c) {
    if (c == nullptr || isWriting(c) || (c->cur == c->end && !refill(c))) return -1;
    if (c->cur < c->limit) return *c->cur++;
    // This byte completes a progress step: the hook hears of it before the
    // byte reaches its taker.
    int byte = *c->cur++;
    ++c->progressCalls;
    c->progress(c->progressContext, static_cast<size_t>(handedOut(c) - c->progressFrom));
    setLimit(c);
    return byte;
}

bool putSlow(TextChannel *c, const char *bytes, size_t n) {
    if (n == 0) return true;
    if (c == nullptr || c->failed || !isWriting(c)) return false;
    while (n > 0) {
        if (c->filled == c->capacity && !makeRoom(c)) return false;
        size_t part = std::min(n, c->capacity - c->filled);
        std::memcpy(c->block + c->filled, bytes, part);
        c->filled += part;
        bytes += part;
        n -= part;
    }
    return true;
}

}  // namespace vrd

extern "C" {

TextChannel *VRD_CALL openTextFile(const char *path, const char *mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    bool reading = std::strcmp(mode, "r") == 0;
    if (!reading && std::strcmp(mode, "w") != 0) return nullptr;
    TextChannel *c = newChannel(reading ? ChannelKind::ReadFile : ChannelKind::WriteFile);
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
    TextChannel *c = newChannel(ChannelKind::ReadString);
    if (c == nullptr) return nullptr;
    c->base = c->cur = c->countedTo = reinterpret_cast<const unsigned char *>(text);
    c->end = c->limit = c->base + length;
    return c;
}

TextChannel *VRD_CALL openTextBuffer(void) {
    TextChannel *c = newChannel(ChannelKind::WriteBuffer);
    if (c == nullptr) return nullptr;
    c->block = static_cast<char *>(mallocMem(kFirstBufferSize + 1));
    if (c->block == nullptr) {
        freeMem(c);
        return nullptr;
    }
    c->capacity = kFirstBufferSize;
    return c;
}

const char *VRD_CALL textBufferData(TextChannel *channel, size_t *length) {
    if (channel == nullptr || channel->kind != ChannelKind::WriteBuffer) return nullptr;
    if (length != nullptr) *length = channel->filled;
    channel->block[channel->filled] = '\0';  // the block always has room for it
    return channel->block;
}

int VRD_CALL closeTextFile(TextChannel *channel) {
    if (channel == nullptr) return -1;
    bool ok = !channel->failed;
    if (channel->kind == ChannelKind::WriteFile) ok = flush(channel) && ok;
    if (channel->file != nullptr && std::fclose(channel->file) != 0 && channel->kind == ChannelKind::WriteFile)
        ok = false;
    freeMem(channel->block);
    freeMem(channel);
    return ok ? 0 : -1;
}

int VRD_CALL readTextFileChar(TextChannel *channel, char *character) {
    int byte = channel != nullptr ? vrd::takeByte(channel) : -1;
    if (character != nullptr) *character = static_cast<char>(byte);  // -1 at the end
    return byte >= 0 ? 1 : 0;
}

int VRD_CALL printTextFileChar(TextChannel *channel, int character) {
    char byte = static_cast<char>(character);
    return vrd::putBytes(channel, &byte, 1) ? 1 : 0;
}

int printTextFile(TextChannel *channel, const char *format, ...) {
    if (channel == nullptr || format == nullptr) return -1;
    va_list args;
    va_start(args, format);
    size_t written = 0;
    bool ok = true;
    for (const char *p = format; ok && *p != '\0'; ++p) {
        if (*p != '%') {
            size_t run = std::strcspn(p, "%");
            ok = vrd::putBytes(channel, p, run);
            written += run;
            p += run - 1;
            continue;
        }
        char number[vrd::kNumberTextBytes];
        const char *piece = number;
        size_t length = 0;
        switch (*++p) {
        case 's':
            piece = va_arg(args, const char *);
            if (piece == nullptr) piece = "";
            length = std::strlen(piece);
            break;
        case 'g':
            length = vrd::formatReal(va_arg(args, double), number);
            break;
        case 'l':
            length = vrd::formatInt(static_cast<int32_t>(va_arg(args, int)), number);
            break;
        case '%':
            piece = "%";
            length = 1;
            break;
        default:  // an unknown directive, or a lone "%" at the end
            ok = false;
            continue;
        }
        ok = vrd::putBytes(channel, piece, length);
        written += length;
    }
    va_end(args);
    return ok ? static_cast<int>(written) : -1;
}

int VRD_CALL textChannelSetProgress(TextChannel *channel, TextProgressProc hook, void *context) {
    if (channel == nullptr || isWriting(channel)) return -1;
    channel->progress = hook;
    channel->progressContext = context;
    channel->progressFrom = handedOut(channel);
    setLimit(channel);
    return 0;
}

int VRD_CALL textChannelPosition(TextChannel *channel, long *line, long *column) {
    if (channel == nullptr) return -1;
    syncPosition(channel);
    if (line != nullptr) *line = channel->line;
    if (column != nullptr) *column = channel->column;
    return 0;
}

}  // extern "C"
