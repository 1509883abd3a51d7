// test_keywords.cpp - the keyword table: keys, buckets, growth, getters and failures.
#include "support.h"

namespace {
using vrdtest::Report;

// "k3" and the like, built without std::string's operator+ (which trips a
// false -Wrestrict in g++ 12 at -O3).
std::string numbered(const char *prefix, long n) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%ld", prefix, n);
    return text;
}

class Keywords : public vrdtest::StoreTest {
protected:
    uint32_t key(const std::string &text) {
        uint32_t k = 0xDEADBEEF;
        EXPECT_EQ(VRDkeyCreate(text.c_str(), &k), 0) << text;
        return k;
    }
};

TEST_F(Keywords, KeysAreDenseChainedAndFoundAgain) {
    EXPECT_EQ(VRDkeyFind("alpha"), VRD_NO_KEY);  // no table yet
    const char *words[] = {"alpha", "Alpha", "apple", "", "\xE9t\xE9", "i"};  // 0xE9 folds onto 'i'
    for (uint32_t k = 0; k < 6; ++k) EXPECT_EQ(key(words[k]), k);
    long before = heapwrapCalls();
    for (uint32_t k = 0; k < 6; ++k) {
        EXPECT_EQ(key(words[k]), k);
        EXPECT_EQ(VRDkeyFind(words[k]), k);
        EXPECT_STREQ(VRDkeyGetPtrValue(k), words[k]);
    }
    EXPECT_EQ(heapwrapCalls(), before);  // finding allocates nothing
    EXPECT_EQ(VRDkeyFind("apples"), VRD_NO_KEY);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Keywords, TextAreaAndKeyArraysGrowInSteps) {
    long before = heapwrapCalls();
    key("tenletters");
    EXPECT_EQ(heapwrapCalls(), before + 5);  // bucket index, text area, three per-key arrays
    before = heapwrapCalls();
    for (int i = 1; i < 5; ++i) key(numbered("k", i));
    EXPECT_EQ(heapwrapCalls(), before);  // 5 keys and 500 bytes fit the first blocks
    key("k5");
    EXPECT_EQ(heapwrapCalls(), before + 3);  // the sixth key grows the three arrays
    before = heapwrapCalls();
    std::string longWord(600, 'w');
    EXPECT_EQ(key(longWord), 6u);
    EXPECT_EQ(heapwrapCalls(), before + 1);  // the text area grows by the word's own length
    // A keyword lying inside the text area, copied while that area grows.
    key("prefixsuffix");
    key(std::string(455, 'f'));  // leaves the area 5 bytes short of the tail
    EXPECT_EQ(key(VRDkeyGetPtrValue(7) + 6), 9u);
    EXPECT_STREQ(VRDkeyGetPtrValue(9), "suffix");
}

TEST_F(Keywords, GettersCopyCheckAndSwitchReuse) {
    key("seventh");
    char buffer[8], none[8] = "xxxxxxx", bad[8] = "xxxxxxx";
    VRDkeyGetValue(0, buffer, 5);
    EXPECT_STREQ(buffer, "seve");
    VRDerrorReport("marker", -4);
    takeReports();
    VRDkeyGetValue(VRD_NO_KEY, none, 8);  // the no-key value is never an error
    EXPECT_TRUE(*none == 0 && VRDkeyGetPtrValue(VRD_NO_KEY) == nullptr && VRDkeyReuse(VRD_NO_KEY, 1) == 0);
    EXPECT_EQ(VRDlastError(), -4);
    VRDkeyGetValue(1, bad, 8);
    EXPECT_TRUE(*bad == 0 && VRDkeyGetPtrValue(1) == nullptr && VRDkeyReuse(1, 1) == 1 && VRDkeyReuse(0, 7) == 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetValue", VRD_E_BADKEY},
                                                 {"VRDkeyGetPtrValue", VRD_E_BADKEY},
                                                 {"VRDkeyReuse", VRD_E_BADKEY}}));
}

TEST_F(Keywords, EveryAllocationFailureLeavesAUsableTable) {
    // Fail each allocation of a first creation in turn: index, text, three arrays.
    for (long n = 1; n <= 5; ++n) {
        ASSERT_NE(VRDnew(numbered("s", n).c_str()), nullptr);
        heapwrapFailNth(n);
        uint32_t k = 77;
        EXPECT_TRUE(VRDkeyCreate("word", &k) == 1 && k == 77u && VRDkeyFind("word") == VRD_NO_KEY) << n;
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", VRD_E_NOMEM}})) << n;
        EXPECT_TRUE(key("word") == 0u && key("other") == 1u) << n;
        for (int i = 2; i < 5; ++i) key(numbered("x", i));
        heapwrapFailNth(2);  // a full table whose second array cannot grow
        EXPECT_EQ(VRDkeyCreate("x5", &k), 1);
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", VRD_E_NOMEM}}));
        EXPECT_TRUE(VRDkeyFind("x4") == 4u && key("x5") == 5u);
    }
}

}  // namespace
