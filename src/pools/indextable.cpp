// indextable.cpp - slot arrays of the pools' hash tables, taken from the index memory.
#include "pools/indextable.h"

namespace vrd {

uint32_t *newSlots(uint32_t slots) {
    auto *p = static_cast<uint32_t *>(mallocIndexMem(size_t{slots} * sizeof(uint32_t)));
    if (p != nullptr) std::memset(p, 0xFF, size_t{slots} * sizeof(uint32_t));  // every slot kEmptySlot
    return p;
}

}  // namespace vrd
