// test_keywords.cpp - the keyword table: keys, buckets, growth, getters and failures.
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

// "k3" and the like, built without std::string's operator+ (which trips a
// false -Wrestrict in g++ 12 at -O3).
std::string numbered(const char *prefix, long n) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%ld", prefix, n);
    return text;
}

class Keywords : public StoreTest {
protected:
    uint32_t key(const char *text) {
        uint32_t k = 0xDEADBEEF;
        EXPECT_EQ(VRDkeyCreate(text, &k), 0) << text;
        return k;
    }
};

TEST_F(Keywords, KeysAreDenseAndFoundAgain) {
    EXPECT_EQ(VRDkeyFind("alpha"), VRD_NO_KEY);  // no table yet
    EXPECT_EQ(key("alpha"), 0u);
    EXPECT_EQ(key("Alpha"), 1u);  // case matters
    EXPECT_EQ(key("apple"), 2u);  // same bucket as alpha, chained after it
    EXPECT_EQ(key(""), 3u);       // the empty keyword is valid
    long before = heapwrapCalls();
    EXPECT_EQ(key("apple"), 2u);
    EXPECT_EQ(key("alpha"), 0u);
    EXPECT_EQ(heapwrapCalls(), before);  // finding allocates nothing
    EXPECT_EQ(VRDkeyFind("apple"), 2u);
    EXPECT_EQ(VRDkeyFind(""), 3u);
    EXPECT_EQ(VRDkeyFind("apples"), VRD_NO_KEY);
    EXPECT_STREQ(VRDkeyGetPtrValue(1), "Alpha");
    EXPECT_STREQ(VRDkeyGetPtrValue(3), "");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Keywords, HighBytesFoldIntoTheTable) {
    EXPECT_EQ(key("\xE9t\xE9"), 0u);
    EXPECT_EQ(key("i"), 1u);  // 0xE9 & 0x7F == 'i': same bucket
    EXPECT_EQ(VRDkeyFind("\xE9t\xE9"), 0u);
    EXPECT_EQ(VRDkeyFind("i"), 1u);
    EXPECT_STREQ(VRDkeyGetPtrValue(0), "\xE9t\xE9");
}

TEST_F(Keywords, TextAreaAndKeyArraysGrowInSteps) {
    long before = heapwrapCalls();
    key("tenletters");
    // bucket index, text area, then the three per-key arrays
    EXPECT_EQ(heapwrapCalls(), before + 5);
    before = heapwrapCalls();
    for (int i = 1; i < 5; ++i) key(numbered("k", i).c_str());
    EXPECT_EQ(heapwrapCalls(), before);  // 5 keys and 500 bytes fit the first blocks
    key("k5");
    EXPECT_EQ(heapwrapCalls(), before + 3);  // the sixth key grows the three arrays
    // A long keyword grows the text area by its own length.
    before = heapwrapCalls();
    std::string longWord(600, 'w');
    EXPECT_EQ(key(longWord.c_str()), 6u);
    EXPECT_EQ(heapwrapCalls(), before + 1);
    EXPECT_EQ(VRDkeyGetPtrValue(6), std::string(longWord));
}

TEST_F(Keywords, KeywordFromInsideTheTextArea) {
    key("prefixsuffix");
    const char *tail = VRDkeyGetPtrValue(0) + 6;
    // The area grows in this very call: the tail must still be copied right.
    std::string filler(480, 'f');
    key(filler.c_str());
    tail = VRDkeyGetPtrValue(0) + 6;
    EXPECT_EQ(key(tail), 2u);
    EXPECT_STREQ(VRDkeyGetPtrValue(2), "suffix");
    EXPECT_STREQ(VRDkeyGetPtrValue(0), "prefixsuffix");
}

TEST_F(Keywords, GetValueCopiesLikeStrncpy) {
    key("seventh");
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    VRDkeyGetValue(0, buffer, 5);
    EXPECT_STREQ(buffer, "seve");
    VRDkeyGetValue(0, buffer, 8);
    EXPECT_STREQ(buffer, "seventh");
    VRDkeyGetValue(VRD_NO_KEY, buffer, 8);
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(takeReports().empty());
    std::memset(buffer, 'x', sizeof buffer);
    VRDkeyGetValue(1, buffer, 8);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetValue", VRD_E_BADKEY}}));
}

TEST_F(Keywords, GetterChecksAndReuseSwitch) {
    key("a");
    VRDerrorReport("marker", -4);
    takeReports();
    EXPECT_EQ(VRDkeyGetPtrValue(VRD_NO_KEY), nullptr);
    EXPECT_EQ(VRDkeyReuse(VRD_NO_KEY, 1), 0);
    EXPECT_EQ(VRDlastError(), -4);  // the no-key value is never an error
    EXPECT_EQ(VRDkeyGetPtrValue(1), nullptr);
    EXPECT_EQ(VRDkeyReuse(1, 1), 1);
    EXPECT_EQ(VRDkeyReuse(0, 7), 0);
    EXPECT_EQ(VRDkeyReuse(0, 0), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetPtrValue", VRD_E_BADKEY},
                                                 {"VRDkeyReuse", VRD_E_BADKEY}}));
}

TEST_F(Keywords, EveryAllocationFailureLeavesAUsableTable) {
    // Fail each allocation of a first creation in turn: index, text, three arrays.
    for (long n = 1; n <= 5; ++n) {
        VRDstore *s = VRDnew(numbered("s", n).c_str());
        ASSERT_NE(s, nullptr);
        heapwrapFailNth(n);
        uint32_t k = 77;
        EXPECT_EQ(VRDkeyCreate("word", &k), 1) << n;
        EXPECT_EQ(k, 77u);
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", VRD_E_NOMEM}})) << n;
        EXPECT_EQ(VRDkeyFind("word"), VRD_NO_KEY) << n;
        EXPECT_EQ(key("word"), 0u) << n;
        EXPECT_EQ(key("other"), 1u) << n;
        EXPECT_STREQ(VRDkeyGetPtrValue(0), "word");
    }
    // A growth of full arrays failing keeps every key.
    ASSERT_NE(VRDnew("full"), nullptr);
    for (int i = 0; i < 5; ++i) key(numbered("x", i).c_str());
    heapwrapFailNth(2);
    uint32_t k;
    EXPECT_EQ(VRDkeyCreate("x5", &k), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", VRD_E_NOMEM}}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(VRDkeyFind(numbered("x", i).c_str()), static_cast<uint32_t>(i));
    EXPECT_EQ(key("x5"), 5u);
}

}  // namespace
