// section.h - what every binary-file section shares: a bounded source, checked blocks, bit marks and writers.
#ifndef VRD_FRAME_SECTION_H
#define VRD_FRAME_SECTION_H

#include <bit>

#include "frame/frame.h"
#include "frame/rawfile.h"

// The file is little-endian and its arrays move with one transfer each, no
// per-element conversion: the host must share the byte order.
static_assert(std::endian::native == std::endian::little, "the binary file is little-endian");

namespace vrd {

// How reading a section went: Cut (the file ended first) and NoMem are
// reported under the section reader's name, Bad (malformed) as -12 under
// the file routine's.
enum class Status { Ok, Cut, NoMem, Bad };

#define VRD_TRY(expression)                            \
    do {                                               \
        ::vrd::Status tried_ = (expression);           \
        if (tried_ != ::vrd::Status::Ok) return tried_; \
    } while (0)

// The bytes still to come from a descriptor.  A regular file's length is
// known: a count that asks for more than is left is an end of file met
// early, found before any memory is asked for it.  A pipe's length is not:
// need() then reads the bytes ahead into a buffer that doubles only as they
// arrive, so the same question gets the same answer while memory stays
// within twice what has arrived, whatever the counts claim.  Nothing past
// the bytes asked for is read, so a section reader leaves a pipe exactly
// at its section's end.
class Source {
public:
    explicit Source(int fd) : fd_(fd), left_(rawRemaining(fd)) {}
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;
    ~Source() { freeMem(ahead_); }

    // Ok when `bytes` more bytes are there to take; Cut when the file ends
    // first; NoMem when a pipe's read-ahead cannot grow.
    Status need(uint64_t bytes) {
        if (left_ != kUnknown) return bytes <= left_ ? Status::Ok : Status::Cut;
        return bytes <= aheadEnd_ - aheadBegin_ ? Status::Ok : readAhead(bytes);
    }
    Status take(void *buffer, size_t bytes) {
        if (left_ == kUnknown) return takeStreamed(buffer, bytes);
        if (bytes > left_ || !rawRead(fd_, buffer, bytes)) return Status::Cut;
        left_ -= bytes;
        return Status::Ok;
    }
    Status word(uint32_t *w) { return take(w, sizeof *w); }

private:
    static constexpr uint64_t kUnknown = UINT64_MAX;
    Status readAhead(uint64_t bytes);
    Status takeStreamed(void *buffer, size_t bytes);

    int fd_;
    uint64_t left_;  // bytes left in a regular file; kUnknown for a stream
    // A stream's bytes read ahead: [aheadBegin_, aheadEnd_) of ahead_.
    char *ahead_ = nullptr;
    size_t aheadCapacity_ = 0, aheadBegin_ = 0, aheadEnd_ = 0;
};

// A block of count elements from the memory layer (never null on success).
template <typename T>
Status allocate(T *&block, uint64_t count) {
    if (count > SIZE_MAX / sizeof(T)) return Status::NoMem;
    block = static_cast<T *>(mallocMem(static_cast<size_t>(count) * sizeof(T)));
    return block != nullptr ? Status::Ok : Status::NoMem;
}

// One bit per element, zeroed, released with its owner: visit marks for
// chains (acyclic walks) and occupancy of slab slots and string offsets.
class Marks {
public:
    Marks() = default;
    Marks(const Marks &) = delete;
    Marks &operator=(const Marks &) = delete;
    ~Marks() { freeMem(bits_); }

    Status init(uint64_t n) {
        freeMem(bits_);
        bits_ = nullptr;
        size_ = n;
        uint64_t bytes = n / 8 + 1;
        VRD_TRY(allocate(bits_, bytes));
        std::memset(bits_, 0, static_cast<size_t>(bytes));
        return Status::Ok;
    }
    bool test(uint64_t i) const { return i < size_ && (bits_[i / 8] >> (i % 8) & 1) != 0; }
    // Sets bit i; false when it was already set.
    bool claim(uint64_t i) {
        if (test(i)) return false;
        bits_[i / 8] = static_cast<uint8_t>(bits_[i / 8] | 1u << (i % 8));
        return true;
    }
    // Claims bits [first, first + n); false when any of them was set.
    bool claimRun(uint64_t first, uint64_t n) {
        for (uint64_t i = first; i < first + n; ++i)
            if (!claim(i)) return false;
        return true;
    }

private:
    uint8_t *bits_ = nullptr;
    uint64_t size_ = 0;
};

// Writers give no report: a short or failed write is not examined.
inline void putWord(int fd, uint32_t word) { rawWrite(fd, &word, sizeof word); }

// An index table, or the table of end values a pool would make, when the
// pool has not made its own yet.
inline void putTable(int fd, const void *table, const void *endTable, size_t bytes) {
    rawWrite(fd, table != nullptr ? table : endTable, bytes);
}

// A table of N end values, built at compile time.
template <typename T, size_t N>
struct EndTable {
    T heads[N];
    constexpr explicit EndTable(T end) : heads{} {
        for (T &h : heads) h = end;
    }
};

}  // namespace vrd

#endif  // VRD_FRAME_SECTION_H
