// test_strcmp.cpp - byte order and natural order of texts, with their tokens.
#include "support.h"

namespace {
using vrdtest::entity;
using vrdtest::Report;
using Compare = vrdtest::StoreTest;

TEST_F(Compare, ByteAndNaturalOrderOfStoredTexts) {
    struct Case { const char *a, *b; int bytes, natural; };  // each holds reversed too, negated
    const Case cases[] = {
        {"abc", "abd", -1, -1},  {"abc", "ab", 1, 1},  {"B", "a", -1, -1},      {"\x80", "z", 1, -1},
        {"x9", "x10", 1, -1},    {"1", "a", -1, -1},   {"1", "-", 1, -1},       {"file2b", "file10a", 1, -1},
        {"", "0", -1, -1},       {"a1", "a01", 1, 1},  {"007", "7", -1, -1},    {"\xE9", "5", 1, 1},
        {"\xE9", "A", 1, -1},    {"a1", "a1", 0, 0},   {"x02y", "x2z", -1, -1}, {"2147483647", "2147483646", 1, 1},
        {"99999999999", "2000000000", 1, -1},  // a run past 2^31 - 1 wraps modulo 2^32
    };
    for (const Case &c : cases) {
        VRDentity a{}, b{};
        ASSERT_TRUE(VRDstringCreate(c.a, &a) == 0 && VRDidCreate(c.b, &b) == 0);  // the kinds do not matter
        EXPECT_TRUE(VRDstrCmp(&a, &b) == c.bytes && VRDstrCmp(&b, &a) == -c.bytes) << c.a << " vs " << c.b;
        EXPECT_TRUE(VRDstrCmpNatural(&a, &b) == c.natural && naturalCmp(c.b, c.a) == -c.natural) << c.a << " " << c.b;
    }
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Compare, EqualEntitiesNeedNoTextAndMissingTextsCountAsEmpty) {
    VRDentity abc{}, empty{}, null = VRDnullEntity(), other = entity(0x18000005);
    ASSERT_TRUE(VRDstringCreate("abc", &abc) == 0 && VRDstringCreate("", &empty) == 0);
    VRDentity bad = entity(0x20000000 | 500), bad77 = entity(0x20000000 | 500, 77), badId = entity(0x28000000 | 600);
    EXPECT_TRUE(VRDstrCmp(&bad, &bad) == 0 && VRDstrCmp(&other, &other) == 0);
    EXPECT_EQ(VRDstrCmpNatural(&bad, &bad77), 0);  // the first words decide
    EXPECT_TRUE(VRDstrCmp(&null, &abc) == -1 && VRDstrCmp(&null, &empty) == 0 && takeReports().empty());
    EXPECT_TRUE(VRDstrCmp(&bad, &badId) == 0 && VRDstrCmpNatural(&abc, &bad) == 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(3, {"VRDstringGetPtrValue", VRD_E_BADSTRING}));
    VRDsetCheck(0);
    EXPECT_TRUE(VRDstrCmp(&bad, &abc) == -1 && takeReports().empty());
    ASSERT_EQ(VRDkill(store, nullptr), 0);  // naturalCmp needs no store
    EXPECT_TRUE(naturalCmp("a", "b") == -1 && naturalCmp("x10", "x9") == 1 && takeReports().empty());
}

}  // namespace
