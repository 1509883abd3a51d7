// channel.h - the text channel's record and the inline paths by which the reader and writer use its bytes in bulk.
#ifndef VRD_FILES_CHANNEL_H
#define VRD_FILES_CHANNEL_H

#include <cstdio>

#include "frame/frame.h"

namespace vrd {

enum class ChannelKind { ReadFile, ReadString, WriteFile, WriteBuffer };

}  // namespace vrd

// A channel reads or writes, never both.
//
// Reading: the bytes at hand are [base, end) (the file block, or the
// caller's text); [base, cur) have been handed out.  Bytes [cur, limit) may
// be taken directly; `limit` stops short of `end` only before the byte whose
// handing out completes a progress step, so that byte always goes through
// takeSlow, which calls the hook right after it, as a byte-by-byte reader
// would see it.  Taking a byte is `*cur++`, whoever takes it.
//
// Writing: block[0, filled) still has to reach the file (or is the
// buffer's contents); a buffer keeps capacity + 1 bytes so its contents can
// always be zero-terminated.
//
// Line and column describe the last byte handed out or written.  They are
// brought up to date only when asked for and before the bytes they are
// counted from go away: `counted` bytes of the block (writing) or the bytes
// before `countedTo` (reading) are in them.
struct TextChannel {
    vrd::ChannelKind kind;
    FILE *file;
    const unsigned char *base;
    const unsigned char *cur;
    const unsigned char *limit;
    const unsigned char *end;
    uint64_t baseOffset;  // reading: bytes handed out before `base`
    char *block;
    size_t capacity;
    size_t filled;
    bool ended;   // reading: the end has been met; it stays met
    bool failed;  // writing: a byte was lost; the channel stays failed
    long line;
    long column;
    bool afterNewline;
    const unsigned char *countedTo;  // reading
    size_t counted;                  // writing
    TextProgressProc progress;       // reading: called every kProgressStep bytes
    void *progressContext;
    uint64_t progressFrom;  // the stream offset at which the hook was set
    uint64_t progressCalls;  // made so far: the hook may change anything
};

namespace vrd {

// Reading: the next byte handed out (0-255), or -1 at the end of the input.
int takeSlow(TextChannel *c);
inline int takeByte(TextChannel *c) { return c->cur < c->limit ? *c->cur++ : takeSlow(c); }

// Writing: appends n bytes; false when the channel cannot take them all (it
// is then failed and keeps the bytes that fitted, exactly as if they had
// been written one by one).
bool putSlow(TextChannel *c, const char *bytes, size_t n);
inline bool putBytes(TextChannel *c, const char *bytes, size_t n) {
    if (c != nullptr && !c->failed && c->kind >= ChannelKind::WriteFile && n <= c->capacity - c->filled) {
        std::memcpy(c->block + c->filled, bytes, n);
        c->filled += n;
        return true;
    }
    return putSlow(c, bytes, n);
}

// Writing a short piece from a buffer of the writer's own with at least
// kSmallPiece readable bytes: with that much room, a fixed-size copy (no
// call) puts the piece; the bytes after it lie past `filled`, outside the
// contents, and are overwritten by the next piece.
constexpr size_t kSmallPiece = 32;
inline void putSmall(TextChannel *c, const char *piece, size_t n) {
    if (c != nullptr && !c->failed && c->kind >= ChannelKind::WriteFile && n <= kSmallPiece &&
        c->capacity - c->filled >= kSmallPiece) {
        std::memcpy(c->block + c->filled, piece, kSmallPiece);
        c->filled += n;
        return;
    }
    putSlow(c, piece, n);
}

}  // namespace vrd

#endif  // VRD_FILES_CHANNEL_H
