// source.cpp - reading a stream of unknown length ahead, in step with the bytes that arrive.
#include <algorithm>

#include "frame/section.h"

namespace vrd {
namespace {
// The read-ahead starts at this size and then doubles; below it, growing
// would cost more calls than it saves memory.
constexpr size_t kFirstAhead = size_t{64} << 10;
}  // namespace

// Reads until `bytes` bytes wait in the buffer or the stream ends.  The
// buffer grows only when it is full of bytes that have arrived, to at most
// twice its size and never beyond what is asked: its size stays within
// twice the bytes read (or the first step), whatever `bytes` claims.
Status Source::readAhead(uint64_t bytes) {
    size_t waiting = aheadEnd_ - aheadBegin_;
    if (aheadBegin_ != 0) {
        std::memmove(ahead_, ahead_ + aheadBegin_, waiting);
        aheadBegin_ = 0;
        aheadEnd_ = waiting;
    }
    while (aheadEnd_ < bytes) {
        if (aheadEnd_ == aheadCapacity_) {
            uint64_t wanted = std::min<uint64_t>(std::max(aheadCapacity_ * 2, kFirstAhead), bytes);
            if (wanted > SIZE_MAX || !growBlock(ahead_, static_cast<size_t>(wanted))) return Status::NoMem;
            aheadCapacity_ = static_cast<size_t>(wanted);
        }
        size_t room = static_cast<size_t>(std::min<uint64_t>(aheadCapacity_, bytes)) - aheadEnd_;
        long long got = rawReadSome(fd_, ahead_ + aheadEnd_, room);
        if (got <= 0) return Status::Cut;
        aheadEnd_ += static_cast<size_t>(got);
    }
    return Status::Ok;
}

// Hands out the bytes read ahead first, then reads the rest straight into
// the caller's block.
Status Source::takeStreamed(void *buffer, size_t bytes) {
    size_t fromAhead = std::min(bytes, aheadEnd_ - aheadBegin_);
    if (fromAhead != 0) {
        std::memcpy(buffer, ahead_ + aheadBegin_, fromAhead);
        aheadBegin_ += fromAhead;
        if (aheadBegin_ == aheadEnd_) aheadBegin_ = aheadEnd_ = 0;
    }
    size_t rest = bytes - fromAhead;
    if (rest != 0 && !rawRead(fd_, static_cast<char *>(buffer) + fromAhead, rest)) return Status::Cut;
    return Status::Ok;
}

}  // namespace vrd
