// test_strcmp.cpp - byte order and natural order of texts, with their tokens.
#include "pools/pools.h"
#include "support.h"

namespace {
using vrdtest::entity;
using vrdtest::Report;

class Compare : public vrdtest::StoreTest {
protected:
    VRDentity str(const char *text) {
        VRDentity e{};
        EXPECT_EQ(VRDstringCreate(text, &e), 0);
        return e;
    }
    VRDentity id(const char *text) {
        VRDentity e{};
        EXPECT_EQ(VRDidCreate(text, &e), 0);
        return e;
    }
    int cmp(VRDentity a, VRDentity b) { return VRDstrCmp(&a, &b); }
    int natural(VRDentity a, VRDentity b) { return VRDstrCmpNatural(&a, &b); }
};

TEST_F(Compare, ByteOrderIsUnsignedAndEqualEntitiesNeedNoText) {
    EXPECT_EQ(cmp(str("abc"), id("abc")), 0);
    EXPECT_EQ(cmp(str("abc"), str("abd")), -1);
    EXPECT_EQ(cmp(str("abc"), str("ab")), 1);
    EXPECT_EQ(cmp(str("B"), str("a")), -1);  // no case folding, and exactly -1
    EXPECT_EQ(cmp(str("\x80"), str("z")), 1);
    VRDentity bad = entity(0x20000000 | 4000);
    EXPECT_EQ(cmp(bad, bad), 0);
    EXPECT_EQ(cmp(entity(0x18000005), entity(0x18000005)), 0);
    EXPECT_EQ(natural(bad, entity(0x20000000 | 4000, 77)), 0);  // first words decide
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Compare, MissingTextsCompareAsEmptyAndBadOffsetsReport) {
    VRDentity abc = str("abc");
    VRDentity bad1 = entity(0x20000000 | 500);
    EXPECT_EQ(cmp(VRDnullEntity(), abc), -1);
    EXPECT_EQ(cmp(VRDnullEntity(), str("")), 0);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(cmp(bad1, entity(0x28000000 | 600)), 0);
    EXPECT_EQ(natural(abc, bad1), 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(3, {"VRDstringGetPtrValue", VRD_E_BADSTRING}));
    VRDsetCheck(0);
    EXPECT_EQ(cmp(bad1, abc), -1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Compare, TokensAreBytesDigitRunsAndTheEnd) {
    const char *text = "ab12c\xFF" "007";
    const CmpToken want[] = {{kCmpCharacter, 'a'}, {kCmpCharacter, 'b'}, {kCmpNumber, 12}, {kCmpCharacter, 'c'},
                             {kCmpCharacter, -1},  {kCmpNumber, 7},      {kCmpEnd, 0},     {kCmpEnd, 0}};
    const int after[] = {1, 2, 4, 5, 6, 9, 9, 9};  // the end token does not move
    const char *p = text;
    for (int i = 0; i < 8; ++i) {
        CmpToken t = getCmpToken(&p);
        EXPECT_EQ(t.kind, want[i].kind) << i;
        EXPECT_EQ(t.value, want[i].value) << i;
        EXPECT_EQ(p - text, after[i]) << i;
    }
    p = "4294967297x";  // accumulates modulo 2^32
    EXPECT_EQ(getCmpToken(&p).value, 1);
}

TEST_F(Compare, NaturalOrderReadsDigitRunsAsNumbers) {
    struct Case {
        const char *a;
        const char *b;
        int want;
    };
    const Case cases[] = {
        {"x9", "x10", -1},          {"x10", "x9", 1},          {"file2b", "file10a", -1},
        {"1", "a", -1},             {"1", "-", -1},            {"-", "1", 1},
        {"", "0", -1},              {"0", "", 1},              {"a1", "a01", 1},
        {"a01", "a1", -1},          {"a1", "a1", 0},           {"007", "7", -1},
        {"7", "007", 1},            {"\xE9", "A", -1},         {"\xE9", "5", 1},
        {"a", "ab", -1},            {"B", "a", -1},            {"2147483647", "2147483646", 1},
        {"x2y", "x2z", -1},         {"x02y", "x2z", -1},       {"99999999999", "2000000000", -1},
    };
    for (const Case &c : cases) EXPECT_EQ(naturalCmp(c.a, c.b), c.want) << c.a << " vs " << c.b;

    EXPECT_EQ(natural(str("x9"), str("x10")), -1);
    EXPECT_EQ(natural(str("a01"), str("a1")), -1);
    EXPECT_EQ(natural(str("same"), id("same")), 0);
    EXPECT_EQ(cmp(str("x9"), str("x10")), 1);  // the byte order disagrees
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Compare, NoStoreIsReportedUnderEachComparison) {
    VRDentity a = str("a");
    VRDentity b = str("b");
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    EXPECT_EQ(cmp(a, b), 0);
    EXPECT_EQ(natural(a, b), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstrCmp", VRD_E_NOSTORE}, {"VRDstrCmpNatural", VRD_E_NOSTORE}}));
    EXPECT_EQ(naturalCmp("a", "b"), -1);  // plain texts need no store
}

}  // namespace
