// indextable.cpp - slot arrays of the pools' hash tables, taken from the index memory, and their sizes.
#include "pools/indextable.h"

#include "pools/coordindex.h"
#include "pools/keyindex.h"
#include "pools/pointindex.h"
#include "pools/pools.h"
#include "pools/stringindex.h"

namespace vrd {

uint32_t *newSlots(uint32_t slots) {
    auto *p = static_cast<uint32_t *>(mallocIndexMem(size_t{slots} * sizeof(uint32_t)));
    if (p != nullptr) std::memset(p, 0xFF, size_t{slots} * sizeof(uint32_t));  // every slot kEmptySlot
    return p;
}

namespace {
template <typename Lookup>
const IndexTable *tableOf(const Lookup *x) {
    return x == nullptr ? nullptr : &x->table;
}
}  // namespace

LookupSize lookupSize(const VRDstore *s, PoolLookup which) {
    const IndexTable *t = nullptr;
    switch (which) {
    case PoolLookup::Bigints: t = &numbers(s).bigintLookup; break;
    case PoolLookup::Reals: t = &numbers(s).realLookup; break;
    case PoolLookup::Strings: t = tableOf(strings(s).stringLookup); break;
    case PoolLookup::Keywords: t = tableOf(keywords(s).keywordLookup); break;
    case PoolLookup::Xcoords: t = tableOf(points(s).xcoordLookup); break;
    case PoolLookup::Ycoords: t = tableOf(points(s).ycoordLookup); break;
    case PoolLookup::Points: t = tableOf(points(s).pointLookup); break;
    }
    return t == nullptr || t->slots == nullptr ? LookupSize{0, 0} : LookupSize{t->count, tableBytes(*t)};
}

}  // namespace vrd
