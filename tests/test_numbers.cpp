// test_numbers.cpp - integer and real entities, their tables, growth and failures.
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

class Numbers : public StoreTest {
protected:
    VRDentity integer(int32_t v) {
        VRDentity e{0, 0};
        EXPECT_EQ(VRDintCreate(v, &e), 0) << v;
        return e;
    }
    VRDentity real(double v) {
        VRDentity e{0, 0};
        EXPECT_EQ(VRDrealCreate(v, &e), 0) << v;
        return e;
    }
};

TEST_F(Numbers, SmallIntegersLiveInTheEntity) {
    EXPECT_EQ(integer(0), (VRDentity{0x18000000u, 0}));
    EXPECT_EQ(integer(134217727), (VRDentity{0x1FFFFFFFu, 0}));
    EXPECT_EQ(integer(-134217727), (VRDentity{0x17FFFFFFu, 0}));
    EXPECT_EQ(integer(-1), (VRDentity{0x10000001u, 0}));
    for (int32_t v : {0, 1, -1, 134217727, -134217727})
        EXPECT_EQ(VRDintGetValue(integer(v)), v);
}

TEST_F(Numbers, LargeIntegersAreInternedOnce) {
    VRDentity big = integer(134217728);
    EXPECT_EQ(big, (VRDentity{0x08000000u, 0}));
    EXPECT_EQ(integer(-134217728), (VRDentity{0x08000001u, 0}));
    EXPECT_EQ(integer(INT32_MIN), (VRDentity{0x08000002u, 0}));
    EXPECT_EQ(integer(134217728), big);
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000002u, 0}), INT32_MIN);
    EXPECT_EQ(VRDintGetValue(big), 134217728);
    EXPECT_EQ(VRDintGetValue(integer(INT32_MAX)), INT32_MAX);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Numbers, IntegerGetterRejections) {
    integer(1 << 28);
    // Wrong kinds give the sentinel with no report and leave the last error.
    VRDerrorReport("marker", -5);
    takeReports();
    for (VRDentity e : {VRDentity{0x20000000u, 0}, VRDentity{0x28000000u, 0}, VRDentity{0x30000000u, 0},
                        VRDentity{0x80000000u, 0}, VRDentity{0x40000000u, 0}, VRDentity{0, 0},
                        VRDentity{0x38000000u, 0}})
        EXPECT_EQ(VRDintGetValue(e), 0x7FFFFFFF);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(VRDlastError(), -5);
    // An index past the table is reported in check mode, refused silently otherwise.
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000001u, 0}), 0x7FFFFFFF);
    VRDsetCheck(0);
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000001u, 0}), 0x7FFFFFFF);
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000000u, 0}), 1 << 28);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintGetValue", VRD_E_BADINT}}));
}

TEST_F(Numbers, BigintTableGrowsBy125) {
    for (int32_t i = 0; i < 125; ++i) integer(200000000 + i);
    // The 126th distinct value must grow the table: its allocation is the next one.
    heapwrapFailNth(1);
    VRDentity e;
    EXPECT_EQ(VRDintCreate(200000000 + 125, &e), 1);
    EXPECT_EQ(integer(200000000 + 125), (VRDentity{0x08000000u + 125, 0}));
    long before = heapwrapCalls();
    for (int32_t i = 126; i < 250; ++i) integer(200000000 + i);
    EXPECT_EQ(heapwrapCalls(), before);  // capacity 250 holds them all
    heapwrapFailNth(1);
    EXPECT_EQ(VRDintCreate(200000000 + 250, &e), 1);
    takeReports();
}

TEST_F(Numbers, BigintGrowthFailureKeepsTheTable) {
    for (int32_t i = 0; i < 125; ++i) integer(300000000 + i);
    heapwrapFailNth(1);
    VRDentity e{1, 2};
    EXPECT_EQ(VRDintCreate(400000000, &e), 1);
    EXPECT_EQ(e, (VRDentity{1, 2}));  // the result is left unwritten
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000000u + 124, 0}), 300000124);
    EXPECT_EQ(integer(300000000), (VRDentity{0x08000000u, 0}));
    EXPECT_EQ(integer(400000000), (VRDentity{0x08000000u + 125, 0}));
    // The very first block failing leaves an empty table that still works.
    VRDnew("fresh");
    heapwrapFailNth(1);
    EXPECT_EQ(VRDintCreate(400000000, &e), 1);
    EXPECT_EQ(integer(400000000), (VRDentity{0x08000000u, 0}));
}

TEST_F(Numbers, RealsMergeWithinAbsoluteEpsilon) {
    VRDentity zero = real(0.0);
    EXPECT_EQ(zero, (VRDentity{0x30000000u, 0}));
    EXPECT_EQ(real(1e-20), zero);
    EXPECT_EQ(real(-0.0), zero);
    EXPECT_EQ(VRDrealGetValue(real(1e-20)), 0.0);

    VRDentity one = real(1.0);
    VRDentity next = real(1.0 + std::ldexp(1.0, -52));
    EXPECT_NE(one, next);
    EXPECT_EQ(real(std::ldexp(1.0, -60)), zero);  // within epsilon of the stored 0.0

    VRDnew("tiny");
    VRDentity a = real(std::ldexp(1.0, -60));
    EXPECT_EQ(real(std::ldexp(1.0, -61)), a);
    EXPECT_EQ(VRDrealGetValue(a), std::ldexp(1.0, -60));
}

TEST_F(Numbers, NanAndInfinityNeverMatch) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    double inf = std::numeric_limits<double>::infinity();
    VRDentity n1 = real(nan), n2 = real(nan), i1 = real(inf), i2 = real(inf);
    EXPECT_NE(n1, n2);
    EXPECT_NE(i1, i2);
    EXPECT_TRUE(std::isnan(VRDrealGetValue(n2)));
    EXPECT_EQ(VRDrealGetValue(i2), inf);
}

TEST_F(Numbers, RealGetterRangeAndKindRules) {
    VRDentity half = real(0.5);
    real(2.5);
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x30000002u, 0}), DBL_MAX);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDrealGetValue", VRD_E_BADREAL}}));
    // The kind is not tested: any entity whose payload is a valid index reads that real.
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x18000001u, 0}), 2.5);
    EXPECT_EQ(VRDrealGetValue(half), 0.5);
    VRDsetCheck(0);
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x30000002u, 0}), DBL_MAX);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Numbers, RealTableGrowthAndItsFailureName) {
    for (int i = 0; i < 62; ++i) real(10.0 + i);
    heapwrapFailNth(1);
    VRDentity e{3, 4};
    EXPECT_EQ(VRDrealCreate(99.5, &e), 1);
    EXPECT_EQ(e, (VRDentity{3, 4}));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDreadAdd", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x30000000u + 61, 0}), 71.0);
    EXPECT_EQ(real(99.5), (VRDentity{0x30000000u + 62, 0}));
    EXPECT_EQ(real(10.0), (VRDentity{0x30000000u, 0}));
}

// The lookup index must give exactly the first match a scan from index 0
// gives, including merges of neighbours within DBL_EPSILON and the case
// where the index could not be made.
TEST_F(Numbers, RealLookupsGiveTheFirstMatchOfAScan) {
    std::vector<double> created;
    auto reference = [&](double v) -> int32_t {
        for (size_t i = 0; i < created.size(); ++i)
            if (std::fabs(created[i] - v) < DBL_EPSILON) return static_cast<int32_t>(i);
        return -1;
    };
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int round = 0; round < 4000; ++round) {
        double v;
        switch (next() % 5) {
        case 0: v = (static_cast<int>(next() % 64) - 32) * (DBL_EPSILON / 3); break;        // near 0
        case 1: v = 1.0 + (static_cast<int>(next() % 16) - 8) * (DBL_EPSILON / 4); break;  // near 1
        case 2: v = 2.0 - (next() % 4) * DBL_EPSILON; break;                               // near 2
        case 3: v = static_cast<double>(next() % 500) / 8.0; break;
        default: v = -static_cast<double>(next() % 300) * 1e6; break;
        }
        if (round == 2000) heapwrapFailNth(2);  // the index drops once; answers must not change
        int32_t expected = reference(v);
        VRDentity e;
        ASSERT_EQ(VRDrealCreate(v, &e), 0);
        if (expected < 0) {
            expected = static_cast<int32_t>(created.size());
            created.push_back(v);
        }
        ASSERT_EQ(e, (VRDentity{0x30000000u | static_cast<uint32_t>(expected), 0})) << round << " " << v;
    }
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Numbers, BigintLookupsSurviveAnIndexThatCannotGrow) {
    for (int32_t i = 0; i < 125; ++i) integer(500000000 + i * 3);
    heapwrapFailNth(2);  // the table grows, its index does not
    EXPECT_EQ(integer(-500000000), (VRDentity{0x08000000u + 125, 0}));
    for (int32_t i = 0; i < 125; ++i) EXPECT_EQ(integer(500000000 + i * 3), (VRDentity{0x08000000u + i, 0}));
    for (int32_t i = 0; i < 300; ++i) integer(-600000000 - i);
    EXPECT_EQ(integer(-600000000 - 299), (VRDentity{0x08000000u + 126 + 299, 0}));
    EXPECT_EQ(integer(500000000 + 6), (VRDentity{0x08000002u, 0}));
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
