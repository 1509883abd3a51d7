// test_properties.cpp - integer properties kept as pairs in a form's "PLIST" property list.
#include "forms/forms.h"
#include "support.h"

namespace {
using Reports = std::vector<vrdtest::Report>;
using Ints = std::vector<int32_t>;
constexpr int32_t kNoValue = 0x7FFFFFFF;

// Every test starts from a form f that lists one integer, and leaves no report unchecked.
class Properties : public vrdtest::TreeTest {
protected:
    void SetUp() override { TreeTest::SetUp(), f = form("F"), add(f, {integer(9)}); }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
    VRDentity plist(VRDentity of) { return vrd::propertyListOf(store, of); }  // no routine gives it out
    Ints pairs(VRDentity of) {
        Ints out;
        for (VRDentity e : list(plist(of))) out.push_back(VRDintGetValue(e));
        return out;
    }
    VRDentity f{};
};

TEST_F(Properties, OneListServesSetReplaceAppendDeleteAndClearThenDiesWithItsForm) {
    EXPECT_EQ(VRDformGetProperty(f, 7), kNoValue);  // reading, deleting and clearing create no list
    EXPECT_TRUE(VRDformDeleteProperty(7, f) + VRDformClearProperties(f) == 0 && VRDkeyFind("PLIST") == VRD_NO_KEY);
    const int32_t sets[][2] = {{7, 100}, {7, 200}, {8, 7}, {-5, -6}, {1000000000, 2000000000}};
    for (const auto &s : sets) ASSERT_EQ(VRDformSetProperty(f, s[0], s[1]), 0);
    VRDentity pl = plist(f);
    EXPECT_TRUE(std::strcmp(VRDformGetPtrKeyword(pl), "PLIST") == 0 && VRDformGetOwner(pl) == f);
    EXPECT_EQ(list(f), std::vector<VRDentity>{integer(9)});  // the form's own list is untouched
    EXPECT_EQ(pairs(f), (Ints{7, 200, 8, 7, -5, -6, 1000000000, 2000000000}));
    // A value equal to a name is never taken for it.
    const int32_t gets[][2] = {{7, 200}, {8, 7}, {-5, -6}, {1000000000, 2000000000}, {5, kNoValue}, {200, kNoValue}};
    for (const auto &g : gets) EXPECT_EQ(VRDformGetProperty(f, g[0]), g[1]) << g[0];
    ASSERT_EQ(VRDformDeleteProperty(3, f), 0);  // absent: nothing changes
    ASSERT_EQ(VRDformDeleteProperty(7, f), 0);
    EXPECT_EQ(pairs(f), (Ints{8, 7, -5, -6, 1000000000, 2000000000}));
    ASSERT_TRUE(VRDformClearProperties(f) == 0 && VRDformSetProperty(f, 6, 60) == 0);
    EXPECT_TRUE(plist(f) == pl && pairs(f) == (Ints{6, 60}));
    // Any list can be attached; a killed list's record serves the next list made.
    VRDentity g = form("G"), own = form("PLIST", g), h = form("H");
    add(own, {integer(9), integer(9)});
    ASSERT_EQ(VRDformSetPropertyList(g, own), 0);
    EXPECT_EQ(VRDformGetProperty(g, 9), 9);
    ASSERT_EQ(VRDformKill(f, 0, 0), 0);  // the property list dies with its form
    ASSERT_EQ(VRDformSetProperty(g, 3, 4), 0);  // g has its list: nothing is created
    ASSERT_EQ(VRDformSetProperty(h, 1, 1), 0);
    EXPECT_TRUE(plist(h) == pl && VRDformGetOwner(pl) == h);
}

TEST_F(Properties, FailuresReportAndReturnTheirValues) {
    VRDentity bad{f.first, 50};
    EXPECT_TRUE(VRDformGetProperty(bad, 1) == kNoValue && VRDformSetProperty(bad, 1, 1) == 1);
    EXPECT_TRUE(VRDformDeleteProperty(1, bad) == 0 && VRDformClearProperties(bad) == 1);
    EXPECT_EQ(VRDformSetPropertyList(bad, VRDentity{}), 1);
    EXPECT_EQ(takeReports(), Reports(5, {"formptr", VRD_E_BADFORM}));
    key("PLIST");
    heapwrapFailNth(1);  // the list cannot be made
    EXPECT_TRUE(VRDformSetProperty(f, 1, 1) == 1 && plist(f) == VRDentity{});
    heapwrapFailNth(1);  // a large name the table of large integers cannot take
    EXPECT_EQ(VRDformSetProperty(f, 1000000000, 1), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformCreate", VRD_E_NOMEM}, {"VRDintCreate", VRD_E_NOMEM}}));
    // A list that lost the value of its last pair: replacing that value is refused.
    ASSERT_EQ(VRDformSetProperty(f, 1, 10) + VRDformSetProperty(f, 2, 20), 0);
    ASSERT_EQ(VRDformDeleteEntities(plist(f), 3, 1), 0);
    EXPECT_TRUE(VRDformGetProperty(f, 2) == kNoValue && VRDformSetProperty(f, 2, 30) == VRD_E_BADPOSITION);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformSetEntity", VRD_E_BADPOSITION}}));
}

}  // namespace
