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
// Bits live in 64-bit words so that a run is claimed a word at a time.
class Marks {
public:
    Marks() = default;
    Marks(const Marks &) = delete;
    Marks &operator=(const Marks &) = delete;
    ~Marks() { freeMem(words_); }

    Status init(uint64_t n) {
        freeMem(words_);
        words_ = nullptr;
        size_ = n;
        uint64_t words = n / kWordBits + 1;
        VRD_TRY(allocate(words_, words));
        std::memset(words_, 0, static_cast<size_t>(words) * sizeof(uint64_t));
        return Status::Ok;
    }
    bool test(uint64_t i) const { return i < size_ && (words_[i / kWordBits] >> (i % kWordBits) & 1) != 0; }
    // Sets bit i; false when it was already set.
    bool claim(uint64_t i) {
        if (test(i)) return false;
        words_[i / kWordBits] |= uint64_t{1} << (i % kWordBits);
        return true;
    }
    // Claims bits [first, first + n); false, with the marks left in any
    // state, when the range leaves the marks or any of its bits was set.
    bool claimRun(uint64_t first, uint64_t n) {
        if (n == 0) return true;
        if (first >= size_ || n > size_ - first) return false;
        uint64_t at = first % kWordBits;
        if (at + n <= kWordBits) {  // most runs lie in one word
            uint64_t mask = (n == kWordBits ? ~uint64_t{0} : (uint64_t{1} << n) - 1) << at;
            uint64_t &word = words_[first / kWordBits];
            if ((word & mask) != 0) return false;
            word |= mask;
            return true;
        }
        uint64_t last = first + n - 1;
        for (uint64_t w = first / kWordBits; w <= last / kWordBits; ++w) {
            uint64_t from = w == first / kWordBits ? first % kWordBits : 0;
            uint64_t to = w == last / kWordBits ? last % kWordBits : kWordBits - 1;
            uint64_t mask = (~uint64_t{0} >> (kWordBits - 1 - to)) & (~uint64_t{0} << from);
            if ((words_[w] & mask) != 0) return false;
            words_[w] |= mask;
        }
        return true;
    }

private:
    static constexpr uint64_t kWordBits = 64;
    uint64_t *words_ = nullptr;
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
