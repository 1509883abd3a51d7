// test_heapwrap.cpp - the memory layer and its allocation-failure hook.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/mapped.h"
#include "vrd/heapwrap.h"

namespace {

TEST(Heapwrap, FailNthFailsExactlyOnceAndCountsCalls) {
    long start = heapwrapCalls();
    heapwrapFailNth(2);
    void *a = mallocMem(16), *b = callocMem(4, 4), *c = callocMem(4, 4);
    EXPECT_TRUE(a != nullptr && b == nullptr && heapwrapCalls() == start + 3);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::memcmp(c, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
    // A failed reallocation leaves the old block valid and unchanged.
    std::memcpy(a, "contents", 9);
    heapwrapFailNth(1);
    EXPECT_EQ(reallocMem(a, 1 << 20), nullptr);
    EXPECT_STREQ(static_cast<char *>(a), "contents");
    void *grown = reallocMem(a, 1 << 20);
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(static_cast<char *>(grown), "contents");
    // Disarmed, nothing fails; zero-byte requests still give real blocks.
    heapwrapFailNth(3);
    heapwrapFailNth(0);
    void *d = mallocMem(0), *e = mallocMem(0), *f = mallocMem(0);
    EXPECT_TRUE(d != nullptr && e != nullptr && f != nullptr);
    for (void *p : {grown, c, d, e, f}) freeMem(p);
    freeMem(nullptr);
}

// A block that had to move got room for half again what was asked: a growth
// within that room keeps the block where it is, yet still counts and can
// still be made to fail.
TEST(Heapwrap, GrowthWithinTheRoomStaysButCountsAndCanFail) {
    auto *p = static_cast<char *>(mallocMem(100));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "kept", 5);
    auto *grown = static_cast<char *>(reallocMem(p, 2000));  // asks 2000: room for 3000
    ASSERT_NE(grown, nullptr);
    long calls = heapwrapCalls();
    char *same = static_cast<char *>(reallocMem(grown, 3000));
    EXPECT_TRUE(same == grown && heapwrapCalls() == calls + 1 && std::strcmp(same, "kept") == 0);
    heapwrapFailNth(1);
    EXPECT_EQ(reallocMem(same, 2500), nullptr);  // it would fit, but the armed call fails
    EXPECT_STREQ(same, "kept");
    char *moved = static_cast<char *>(reallocMem(same, 3001));  // past the room: moves, keeps the bytes
    ASSERT_NE(moved, nullptr);
    EXPECT_STREQ(moved, "kept");
    freeMem(moved);
}

// Index blocks are counted apart: the counted calls' hook never reaches them,
// their own hook fails the n-th of them once.
TEST(Heapwrap, IndexBlocksHaveTheirOwnCountAndHook) {
    long calls = heapwrapCalls(), indexCalls = heapwrapIndexCalls();
    heapwrapFailNth(1);
    void *a = mallocIndexMem(64);
    EXPECT_TRUE(a != nullptr && heapwrapCalls() == calls && heapwrapIndexCalls() == indexCalls + 1);
    void *b = mallocMem(8);  // the armed counted call
    EXPECT_EQ(b, nullptr);
    heapwrapFailIndexNth(2);
    void *c = mallocIndexMem(64), *d = mallocIndexMem(64), *e = mallocIndexMem(0);
    EXPECT_TRUE(c != nullptr && d == nullptr && e != nullptr && heapwrapIndexCalls() == indexCalls + 4);
    for (void *block : {a, c, e}) freeIndexMem(block);
    freeIndexMem(nullptr);
}

// Marks a block's bytes at `at` with a pattern that a test can find again.
void mark(void *block, size_t at) { std::memcpy(static_cast<char *>(block) + at, &at, sizeof at); }
bool marked(const void *block, size_t at) {
    size_t seen;
    std::memcpy(&seen, static_cast<const char *>(block) + at, sizeof seen);
    return seen == at;
}

// A block grown past the mapping threshold moves once into a mapping of its
// own, keeps its bytes as it grows there, and keeps every promise of a
// plain block: room to grow in place, counted calls, an armed call that
// fails and leaves the block as it was.
TEST(Heapwrap, LargeBlocksGrowInMappingsAndKeepTheirBytes) {
    constexpr size_t kBig = vrd::kMapFrom;
    void *p = mallocMem(kBig / 2);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(vrd::blockIsMapped(p));
    mark(p, 0);
    mark(p, kBig / 2 - 8);
    void *q = reallocMem(p, kBig + 100);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(vrd::blockIsMapped(q), vrd::mappingAvailable());
    EXPECT_TRUE(marked(q, 0) && marked(q, kBig / 2 - 8));
    mark(q, kBig + 92);
    // Within the room it stays; past it the mapping grows, bytes kept.
    long calls = heapwrapCalls();
    EXPECT_EQ(reallocMem(q, kBig + kBig / 2), q);
    EXPECT_EQ(heapwrapCalls(), calls + 1);
    heapwrapFailNth(1);
    EXPECT_EQ(reallocMem(q, 4 * kBig), nullptr);
    EXPECT_TRUE(marked(q, 0) && marked(q, kBig + 92));
    void *r = reallocMem(q, 4 * kBig);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(marked(r, 0) && marked(r, kBig / 2 - 8) && marked(r, kBig + 92));
    mark(r, 4 * kBig - 8);
    void *s = reallocMem(r, 9 * kBig);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(marked(s, 0) && marked(s, kBig + 92) && marked(s, 4 * kBig - 8));
    freeMem(s);
    // A large zero-filled block is zero wherever it is read.
    auto *z = static_cast<unsigned char *>(callocMem(kBig / 8 + 1, 8));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(vrd::blockIsMapped(z), vrd::mappingAvailable());
    EXPECT_TRUE(z[0] == 0 && z[kBig / 2] == 0 && z[kBig + 7] == 0);
    freeMem(z);
}

// When the system refuses a mapping the C allocator serves instead, with
// the same bytes: a fresh block stays plain, and a mapped block that cannot
// grow where it is becomes a plain one.
TEST(Heapwrap, RefusedMappingsFallBackOnTheAllocator) {
    constexpr size_t kBig = vrd::kMapFrom;
    vrd::refuseMappings(1);
    void *p = mallocMem(kBig);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(vrd::blockIsMapped(p));
    mark(p, kBig - 8);
    void *q = reallocMem(p, 2 * kBig);  // the refusal is spent: mapped now
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(vrd::blockIsMapped(q), vrd::mappingAvailable());
    EXPECT_TRUE(marked(q, kBig - 8));
    mark(q, 2 * kBig - 8);
    vrd::refuseMappings(1);
    void *r = reallocMem(q, 6 * kBig);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(vrd::blockIsMapped(r));
    EXPECT_TRUE(marked(r, kBig - 8) && marked(r, 2 * kBig - 8));
    mark(r, 6 * kBig - 8);
    EXPECT_TRUE(marked(r, 6 * kBig - 8));
    freeMem(r);
    vrd::refuseMappings(0);
}

}  // namespace
