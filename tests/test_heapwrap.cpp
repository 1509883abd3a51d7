// test_heapwrap.cpp - the memory layer and its allocation-failure hook.
#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
