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

}  // namespace
