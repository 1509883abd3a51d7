// test_numbers.cpp - integer and real entities, their tables, growth, lookups and failures.
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "support.h"

namespace {
using vrdtest::Report;

constexpr uint32_t kBig = 0x08000000u, kReal = 0x30000000u;

class Numbers : public vrdtest::TreeTest {
protected:
    VRDentity real(double v) {
        VRDentity e{0, 0};
        EXPECT_EQ(VRDrealCreate(v, &e), 0) << v;
        return e;
    }
};

// Integers inline or interned; the getter gives the sentinel for other kinds and past the table.
TEST_F(Numbers, IntegersInlineOrInternedAndGetterRejections) {
    struct Row { int32_t value; VRDentity entity; } rows[] = {
        {0, {0x18000000u, 0}},          {134217727, {0x1FFFFFFFu, 0}}, {-1, {0x10000001u, 0}},
        {-134217727, {0x17FFFFFFu, 0}}, {134217728, {kBig, 0}},        {-134217728, {kBig + 1, 0}},
        {INT32_MIN, {kBig + 2, 0}},     {134217728, {kBig, 0}},        {INT32_MAX, {kBig + 3, 0}},
    };
    for (const Row &r : rows)
        EXPECT_TRUE(integer(r.value) == r.entity && VRDintGetValue(r.entity) == r.value) << r.value;
    EXPECT_TRUE(takeReports().empty());
    VRDerrorReport("marker", -5);
    takeReports();
    // Wrong kinds give the sentinel with no report and leave the last error.
    for (uint32_t first : {0x20000000u, 0x28000000u, kReal, 0x80000000u, 0x40000000u, 0u, 0x38000000u})
        EXPECT_EQ(VRDintGetValue(VRDentity{first, 0}), 0x7FFFFFFF);
    EXPECT_EQ(VRDlastError(), -5);
    // An index past the table is reported in check mode, refused silently otherwise.
    EXPECT_EQ(VRDintGetValue(VRDentity{kBig + 4, 0}), 0x7FFFFFFF);
    VRDsetCheck(0);
    EXPECT_EQ(VRDintGetValue(VRDentity{kBig + 4, 0}), 0x7FFFFFFF);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintGetValue", VRD_E_BADINT}}));
}

// A table's first growth is one block request, lookups add none until the table is large; the
// bigint table grows by 125 entries.
TEST_F(Numbers, BigintTableGrowsBy125AndSurvivesFailedGrowth) {
    VRDentity e{1, 2};
    long before = heapwrapCalls();
    integer(200000000), real(0.5);
    EXPECT_EQ(heapwrapCalls(), before + 2);
    for (int32_t i = 1; i < 125; ++i) integer(200000000 + i);
    heapwrapFailNth(1);  // the 126th value needs the table to grow
    EXPECT_EQ(VRDintCreate(-200000000, &e), 1);
    EXPECT_EQ(e, (VRDentity{1, 2}));  // left unwritten
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(integer(200000124), (VRDentity{kBig + 124, 0}));
    EXPECT_EQ(integer(-200000000), (VRDentity{kBig + 125, 0}));
    before = heapwrapCalls();
    for (int32_t i = 126; i < 250; ++i) integer(200000000 + i);
    EXPECT_EQ(heapwrapCalls(), before);  // capacity 250 holds them all
    EXPECT_TRUE(takeReports().empty());
}

// From 64 entries lookups go through a hash index kept in the index memory: it spends no counted call, and
// its memory failing (when first built, then when it grows) changes no answer and reports nothing.
TEST_F(Numbers, BigintLookupsThroughTheIndexMatchTheTable) {
    long before = heapwrapCalls(), indexBefore = heapwrapIndexCalls();
    heapwrapFailIndexNth(1);
    for (int32_t i = 0; i < 600; ++i) integer(300000000 + 3 * i);
    heapwrapFailIndexNth(1);
    for (int32_t i = 600; i < 1125; ++i) integer(300000000 + 3 * i);
    EXPECT_EQ(heapwrapCalls(), before + 9);  // the table's own growths, 125 entries each
    EXPECT_GT(heapwrapIndexCalls(), indexBefore + 2);
    for (int32_t i = 0; i < 1500; ++i) EXPECT_EQ(integer(300000000 + 3 * i), (VRDentity{kBig + uint32_t(i), 0}));
    EXPECT_EQ(integer(-300000000), (VRDentity{kBig + 1500, 0}));
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Numbers, RealsMergeWithinAbsoluteEpsilon) {
    VRDentity zero = real(0.0);
    EXPECT_EQ(zero, (VRDentity{kReal, 0}));
    for (double v : {1e-20, -0.0, std::ldexp(1.0, -60)}) EXPECT_EQ(real(v), zero) << v;
    EXPECT_EQ(VRDrealGetValue(zero), 0.0);
    EXPECT_NE(real(1.0), real(1.0 + std::ldexp(1.0, -52)));
    double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_NE(real(nan), real(nan));  // NaN and infinities never match
    EXPECT_NE(real(inf), real(inf));
    ASSERT_NE(VRDnew("tiny"), nullptr);
    VRDentity a = real(std::ldexp(1.0, -60));
    EXPECT_EQ(real(std::ldexp(1.0, -61)), a);
    EXPECT_EQ(VRDrealGetValue(a), std::ldexp(1.0, -60));
}

// The real table's growth fails under its historic name; its getter tests the index, not the kind.
TEST_F(Numbers, RealTableGrowthAndGetterRules) {
    for (int i = 0; i < 62; ++i) real(10.0 + i);
    heapwrapFailNth(1);
    VRDentity e{3, 4};
    EXPECT_TRUE(VRDrealCreate(99.5, &e) == 1 && e == (VRDentity{3, 4}));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDreadAdd", VRD_E_NOMEM}}));
    EXPECT_TRUE(real(71.0) == (VRDentity{kReal + 61, 0}) && real(99.5) == (VRDentity{kReal + 62, 0}));
    EXPECT_EQ(VRDrealGetValue(VRDentity{kReal + 63, 0}), DBL_MAX);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDrealGetValue", VRD_E_BADREAL}}));
    EXPECT_TRUE(VRDrealGetValue(VRDentity{0x18000001u, 0}) == 11.0 && VRDrealGetValue(real(99.5)) == 99.5);
    VRDsetCheck(0);
    EXPECT_EQ(VRDrealGetValue(VRDentity{kReal + 63, 0}), DBL_MAX);
    EXPECT_TRUE(takeReports().empty());
}

// The lookup index must give exactly the first match a scan from index 0
// gives, including merges of neighbours within DBL_EPSILON, and also after
// its memory failed when first built and once more when it grew.
TEST_F(Numbers, RealLookupsGiveTheFirstMatchOfAScan) {
    std::vector<double> created;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    int armed = 0;
    heapwrapFailIndexNth(1);
    for (int round = 0; round < 6000; ++round) {
        double v;
        switch (next() % 5) {
        case 0: v = (static_cast<int>(next() % 64) - 32) * (DBL_EPSILON / 3); break;        // near 0
        case 1: v = 1.0 + (static_cast<int>(next() % 16) - 8) * (DBL_EPSILON / 4); break;  // near 1
        case 2: v = 2.0 - (next() % 4) * DBL_EPSILON; break;                               // near 2
        case 3: v = static_cast<double>(next() % 3000) / 8.0; break;
        default: v = -static_cast<double>(next() % 2000) * 1e6; break;
        }
        if (armed == 0 && created.size() == 500) armed = (heapwrapFailIndexNth(1), 1);
        size_t expected = 0;
        while (expected < created.size() && !(std::fabs(created[expected] - v) < DBL_EPSILON)) ++expected;
        if (expected == created.size()) created.push_back(v);
        VRDentity e;
        ASSERT_EQ(VRDrealCreate(v, &e), 0);
        ASSERT_EQ(e, (VRDentity{kReal | static_cast<uint32_t>(expected), 0})) << round << " " << v;
    }
    EXPECT_GT(created.size(), 1200u);  // well past the sizes where the index starts and grows
    EXPECT_EQ(armed, 1);
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
