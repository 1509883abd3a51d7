// test_section.cpp - the marks the binary reader keeps runs apart with, word boundaries included.
#include <vector>

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

// Runs inside one word take a shorter path than runs across words: random
// runs of every length and place get the answers a plain bit per slot gives.
TEST(Marks, RunsAgreeWithPlainBits) {
    uint64_t seed = 12;
    auto next = [&seed](uint64_t n) { return ((seed = seed * 6364136223846793005u + 1442695040888963407u) >> 33) % n; };
    for (int round = 0; round < 50; ++round) {
        vrd::Marks marks;
        ASSERT_EQ(marks.init(700), vrd::Status::Ok);
        std::vector<bool> plain(700, false);
        for (int i = 0; i < 60; ++i) {
            uint64_t first = next(720), n = next(round % 2 == 0 ? 70 : 140);
            bool free = n == 0 || (first < 700 && n <= 700 - first);
            for (uint64_t j = first; free && j < first + n; ++j) free = !plain[j];
            bool claimed = marks.claimRun(first, n);
            ASSERT_EQ(claimed, free) << first << "+" << n;
            // A refused run may leave the marks in any state: the round ends there.
            if (!claimed) break;
            for (uint64_t j = first; j < first + n; ++j) plain[j] = true;
        }
        for (uint64_t j = 0; j < 700; ++j) ASSERT_TRUE(!plain[j] || marks.test(j)) << j;
    }
}

}  // namespace
