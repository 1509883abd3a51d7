// test_properties.cpp - integer properties kept as pairs in a form's "PLIST" property list.
#include "support.h"

using vrdtest::Report;
using vrdtest::StoreTest;

namespace {

const VRDentity kNull{0, 0};
constexpr int32_t kNoValue = 0x7FFFFFFF;

class Properties : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "F", &f), 0);
        ASSERT_EQ(VRDformAddInt(f, 0xFFFFFFFFu, 9, &scratch), 0);
    }
    VRDentity plist() {
        // The property list is the PLIST form owned by f; find it by owner.
        uint32_t key = VRDkeyFind("PLIST");
        if (key == VRD_NO_KEY) return kNull;
        for (int32_t cursor = 0;;) {
            VRDentity p = VRDformFindNext(key, 0, nullptr, &cursor);
            if (p == kNull || VRDformGetOwner(p) == f) return p;
        }
    }
    std::vector<int32_t> pairs(VRDentity list) {
        std::vector<int32_t> out;
        for (uint32_t i = 0; i < VRDformEntityCount(list); ++i) out.push_back(VRDintGetValue(VRDformGetEntity(list, i)));
        return out;
    }
    VRDentity f{};
    VRDentity scratch{};
};

TEST_F(Properties, SetCreatesOneListThenReplacesInPlaceAndAppends) {
    EXPECT_EQ(VRDformGetProperty(f, 7), kNoValue);  // reading never creates the list
    EXPECT_EQ(VRDkeyFind("PLIST"), VRD_NO_KEY);

    ASSERT_EQ(VRDformSetProperty(f, 7, 100), 0);
    VRDentity list = plist();
    ASSERT_NE(list, kNull);
    EXPECT_STREQ(VRDformGetPtrKeyword(list), "PLIST");
    EXPECT_EQ(VRDformEntityCount(f), 1u);  // the form's own list is untouched
    EXPECT_EQ(VRDentityGetPosition(f, list), -1);
    EXPECT_EQ(pairs(list), (std::vector<int32_t>{7, 100}));
    EXPECT_EQ(VRDformGetProperty(f, 7), 100);

    ASSERT_EQ(VRDformSetProperty(f, 7, 200), 0);
    ASSERT_EQ(VRDformSetProperty(f, 8, 7), 0);  // a value equal to a name is never taken for it
    ASSERT_EQ(VRDformSetProperty(f, -5, -6), 0);
    ASSERT_EQ(VRDformSetProperty(f, 1000000000, 2000000000), 0);
    EXPECT_EQ(plist(), list);
    EXPECT_EQ(pairs(list), (std::vector<int32_t>{7, 200, 8, 7, -5, -6, 1000000000, 2000000000}));
    EXPECT_EQ(VRDformGetProperty(f, 7), 200);
    EXPECT_EQ(VRDformGetProperty(f, 8), 7);
    EXPECT_EQ(VRDformGetProperty(f, -5), -6);
    EXPECT_EQ(VRDformGetProperty(f, 1000000000), 2000000000);
    EXPECT_EQ(VRDformGetProperty(f, 5), kNoValue);
    EXPECT_EQ(VRDformGetProperty(f, 200), kNoValue);  // values are not names
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Properties, DeleteAndClearKeepTheListAttached) {
    ASSERT_EQ(VRDformSetProperty(f, 1, 10), 0);
    ASSERT_EQ(VRDformSetProperty(f, 2, 20), 0);
    VRDentity list = plist();
    EXPECT_EQ(VRDformDeleteProperty(3, f), 0);  // absent: nothing changes
    ASSERT_EQ(VRDformDeleteProperty(1, f), 0);
    EXPECT_EQ(pairs(list), (std::vector<int32_t>{2, 20}));
    ASSERT_EQ(VRDformDeleteProperty(2, f), 0);
    EXPECT_EQ(VRDformEntityCount(list), 0u);
    EXPECT_EQ(VRDformGetProperty(f, 2), kNoValue);
    EXPECT_EQ(VRDformDeleteProperty(2, f), 0);  // an empty list

    ASSERT_EQ(VRDformSetProperty(f, 4, 40), 0);
    ASSERT_EQ(VRDformSetProperty(f, 5, 50), 0);
    EXPECT_EQ(plist(), list);
    ASSERT_EQ(VRDformClearProperties(f), 0);
    EXPECT_EQ(VRDformGetProperty(f, 4), kNoValue);
    EXPECT_EQ(VRDformGetProperty(f, 5), kNoValue);
    ASSERT_EQ(VRDformSetProperty(f, 6, 60), 0);
    EXPECT_EQ(plist(), list);
    EXPECT_EQ(pairs(list), (std::vector<int32_t>{6, 60}));

    // A form without properties: delete and clear succeed and create nothing.
    VRDentity g{};
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "G", &g), 0);
    EXPECT_EQ(VRDformDeleteProperty(1, g), 0);
    EXPECT_EQ(VRDformClearProperties(g), 0);
    EXPECT_EQ(VRDformGetProperty(g, 1), kNoValue);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Properties, SetPropertyListAttachesAnyListAndKillTakesItAlong) {
    VRDentity g{}, list{};
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "G", &g), 0);
    ASSERT_EQ(VRDformCreate(g, VRD_NO_KEY, "PLIST", &list), 0);
    VRDentity pair[2] = {scratch, scratch};  // (9, 9)
    ASSERT_EQ(VRDformAddEntities(list, 0, 2, pair), 0);
    ASSERT_EQ(VRDformSetPropertyList(g, list), 0);
    EXPECT_EQ(VRDformGetProperty(g, 9), 9);

    ASSERT_EQ(VRDformSetProperty(f, 1, 2), 0);
    VRDentity own = plist();
    ASSERT_EQ(VRDformKill(f, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(own), 1);
    // The next "PLIST" form takes the killed list's record.
    ASSERT_EQ(VRDformSetProperty(g, 3, 4), 0);  // g has a list already: no creation
    VRDentity h{};
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "H", &h), 0);
    ASSERT_EQ(VRDformSetProperty(h, 1, 1), 0);
    EXPECT_EQ(VRDformIsKilled(own), 0);
    EXPECT_EQ(VRDformGetOwner(own), h);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Properties, FailuresReportAndReturnTheirValues) {
    VRDentity bad{f.first, 50};
    EXPECT_EQ(VRDformGetProperty(bad, 1), kNoValue);
    EXPECT_EQ(VRDformSetProperty(bad, 1, 1), 1);
    EXPECT_EQ(VRDformDeleteProperty(1, bad), 0);
    EXPECT_EQ(VRDformClearProperties(bad), 1);
    EXPECT_EQ(VRDformSetPropertyList(bad, kNull), 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(5, Report{"formptr", VRD_E_BADFORM}));

    // The list cannot be created: reported as the form creation's failure.
    uint32_t plistKey;
    ASSERT_EQ(VRDkeyCreate("PLIST", &plistKey), 0);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformSetProperty(f, 1, 1), 1);
    heapwrapFailNth(0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDformGetProperty(f, 1), kNoValue);
    EXPECT_EQ(plist(), kNull);

    // A large name that the bigint table cannot take.
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformSetProperty(f, 1000000000, 1), 1);
    heapwrapFailNth(0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintCreate", VRD_E_NOMEM}}));

    // A property list that lost its last value: replacing it is refused with -14.
    ASSERT_EQ(VRDformSetProperty(f, 1, 10), 0);
    VRDentity list = plist();
    ASSERT_EQ(VRDformSetProperty(f, 2, 20), 0);
    ASSERT_EQ(VRDformDeleteEntities(list, 3, 1), 0);
    EXPECT_EQ(VRDformGetProperty(f, 2), kNoValue);
    EXPECT_EQ(VRDformSetProperty(f, 2, 30), VRD_E_BADPOSITION);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformSetEntity", VRD_E_BADPOSITION}}));

    ASSERT_EQ(VRDkill(store, nullptr), 0);
    takeReports();
    EXPECT_EQ(VRDformGetProperty(f, 1), kNoValue);
    EXPECT_EQ(VRDformSetProperty(f, 1, 1), 1);
    EXPECT_EQ(VRDformDeleteProperty(1, f), 1);
    EXPECT_EQ(VRDformClearProperties(f), 1);
    EXPECT_EQ(VRDformSetPropertyList(f, kNull), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformGetProperty", VRD_E_NOSTORE},
                                                  {"VRDformSetProperty", VRD_E_NOSTORE},
                                                  {"VRDformDeleteProperty", VRD_E_NOSTORE},
                                                  {"VRDformClearProperties", VRD_E_NOSTORE},
                                                  {"VRDformSetPropertyList", VRD_E_NOSTORE}}));
}

}  // namespace
