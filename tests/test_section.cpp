// test_section.cpp - the marks the binary reader keeps runs apart with, word boundaries included.
#include "frame/section.h"
#include "support.h"

namespace {

// Runs are claimed a 64-bit word at a time: runs that meet are apart, any
// shared bit is refused wherever it falls in a word, a run leaving the marks
// is refused, and single claims see the bits runs set.
TEST(Marks, RunsMeetButNeverShareABit) {
    vrd::Marks marks;
    ASSERT_EQ(marks.init(300), vrd::Status::Ok);
    const struct { uint64_t first, n; bool claimed; } runs[] = {
        {0, 1, true},     {1, 63, true},   {64, 64, true},  {130, 70, true}, {129, 1, true}, {128, 2, false},
        {199, 2, false},  {200, 100, true}, {299, 1, false}, {300, 1, false}, {250, 60, false}, {0, 0, true},
    };
    for (const auto &r : runs) EXPECT_EQ(marks.claimRun(r.first, r.n), r.claimed) << r.first << "+" << r.n;
    EXPECT_FALSE(marks.test(128));
    EXPECT_TRUE(marks.claim(128));
    for (uint64_t i = 0; i < 300; ++i) ASSERT_TRUE(marks.test(i)) << i;
    EXPECT_FALSE(marks.test(300));
    EXPECT_FALSE(marks.claim(64));
}

}  // namespace
