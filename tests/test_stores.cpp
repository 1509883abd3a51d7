// test_stores.cpp - the list of stores, the current store, and the store reports; the memory report (exact text
// for empty and populated stores, long chains); error messages, the last error and check mode; entity equality,
// and entity.h's inline decoding against the entities the pools make.
#include <climits>

#include "pools/points.h"
#include "support.h"

namespace {

using vrdtest::Report;

class Stores : public vrdtest::StoreTest {};

TEST_F(Stores, CreationOrderNamesTheWalkKillAndSet) {
    VRDstore *second = VRDnew("second");
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(VRDget(nullptr) == second && VRDget("test") == store && VRDget("absent") == nullptr);
    EXPECT_TRUE(VRDnew("test") == nullptr && VRDget(nullptr) == second);  // a duplicate is refused silently
    std::string name31(31, 'n');
    VRDstore *upper = VRDnew("TEST"), *longest = VRDnew(name31.c_str());  // names are case-sensitive
    ASSERT_TRUE(upper != nullptr && longest != nullptr);
    EXPECT_EQ(VRDnew(std::string(32, 'm').c_str()), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOSTORE}}));
    // VRDnext visits every store in creation order, making each current,
    // and leaves the last current when it runs off the end.
    std::vector<VRDstore *> seen;
    for (VRDstore *s = VRDnext(nullptr); s != nullptr; s = VRDnext(s)) {
        seen.push_back(s);
        EXPECT_EQ(VRDget(nullptr), s);
    }
    EXPECT_EQ(seen, (std::vector<VRDstore *>{store, second, upper, longest}));
    EXPECT_TRUE(VRDget(nullptr) == longest && VRDget(name31.c_str()) == longest);
    // Kill and set: a later handle and an earlier name, the first match in list order wins.
    EXPECT_TRUE(VRDkill(nullptr, "zz") == 1 && VRDset(nullptr, nullptr) == 1 && VRDget(nullptr) == longest);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkill", VRD_E_NOSTORE}, {"VRDset", VRD_E_NOSTORE}}));
    EXPECT_TRUE(VRDset(longest, "second") == 0 && VRDget(nullptr) == second);
    EXPECT_TRUE(VRDkill(longest, nullptr) == 0 && VRDget(nullptr) == second);  // not current: the current store stays
    EXPECT_TRUE(VRDkill(nullptr, "second") == 0 && VRDget(nullptr) == store);  // current: the first takes over
    EXPECT_TRUE(VRDkill(upper, nullptr) == 0 && VRDkill(store, nullptr) == 0 && VRDget(nullptr) == nullptr &&
                VRDnext(nullptr) == nullptr);
}

TEST_F(Stores, KillReleasesPopulatedPoolsAndRecordFailureChangesNothing) {
    VRDentity e;
    uint32_t key;
    ASSERT_EQ(VRDkeyCreate("alpha", &key), 0);
    ASSERT_EQ(VRDintCreate(1 << 30, &e), 0);
    ASSERT_EQ(VRDformCreate(VRDentity{0, 0}, key, nullptr, &e), 0);
    heapwrapFailNth(1);
    EXPECT_TRUE(VRDnew("starved") == nullptr && VRDget(nullptr) == store);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOMEM}}));
    VRDstore *other = VRDnew("starved");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(VRDkill(store, nullptr) == 0 && VRDget(nullptr) == other);  // the sanitizers see every block go
}

// `fn` run with no current store gives `failed` and one report of -3 under its own name.
#define NO_STORE(failed, fn, ...)                                                      \
    do {                                                                               \
        EXPECT_EQ(fn(__VA_ARGS__), failed) << #fn;                                     \
        EXPECT_EQ(takeReports(), (std::vector<Report>{{#fn, VRD_E_NOSTORE}})) << #fn;  \
    } while (0)

// Every routine that works on the current store refuses to run without one, writes no out-parameter
// and reports under its own name, whatever area it belongs to.
TEST_F(Stores, RoutinesWithoutACurrentStoreReportUnderTheirOwnNames) {
    uint32_t key = 99, at = 0, keys[1] = {0};
    ASSERT_EQ(VRDkeyCreate("k", &key), 0);
    VRDentity f{0x80000000u, 0}, one{0x18000001u, 0}, e{7, 7}, kNull{0, 0};
    ASSERT_TRUE(VRDformCreate(kNull, key, nullptr, &f) == 0 && VRDkill(store, nullptr) == 0);
    char buffer[4] = "xyz", keyword[4] = "xyz";
    int32_t cursor = 0;
    e = VRDentity{7, 7};
    NO_STORE(1, VRDintCreate, 5, &e); NO_STORE(1, VRDrealCreate, 5.0, &e);
    NO_STORE(0x7FFFFFFF, VRDintGetValue, VRDentity{0x08000000, 0}); NO_STORE(1, VRDkeyCreate, "k", &key);
    NO_STORE(1.7976931348623157e+308, VRDrealGetValue, VRDentity{0x30000000, 0});
    NO_STORE(nullptr, VRDkeyGetPtrValue, 0); NO_STORE(1, VRDkeyReuse, 0, 1); NO_STORE(VRD_NO_KEY, VRDkeyFind, "k");
    NO_STORE(1, VRDpointCreate, 1, 2, &e); NO_STORE(INT32_MAX, VRDpointGetX, VRDentity{0x40000000u, 0});
    NO_STORE(INT32_MAX, VRDpointGetY, VRDentity{0x40000000u, 0}); NO_STORE(kNull, VRDpointFind, 3, 4);
    NO_STORE(0xFFFF, newxcoord, 1); NO_STORE(0xFFFF, newycoord, 1); NO_STORE(1, newpoint, 1, 2, &e);
    NO_STORE(1, VRDformAddEntities, f, 0, 1, &one); NO_STORE(1, VRDformDeleteEntities, f, 0, 1);
    NO_STORE(kNull, VRDformGetEntity, f, 0); NO_STORE(0u, VRDformGetEntities, 0, 1, f, &e);
    NO_STORE(1, VRDformSetEntity, f, 0, one); NO_STORE(0u, VRDformEntityCount, f);
    NO_STORE(nullptr, VRDformGetPtrEntities, f, nullptr); NO_STORE(-1, VRDentityGetPosition, f, one);
    NO_STORE(0, VRDformCmpEntity, 0, 1, f, &one); NO_STORE(1, VRDformAddForm, f, 0, key, nullptr, &e);
    NO_STORE(1, VRDformAddInt, f, 0, 1, &e); NO_STORE(1, VRDformAddReal, 0, &e, f, 1.0);
    NO_STORE(1, VRDformAddString, f, 0, "s", &e); NO_STORE(1, VRDformAddPoint, 0, &e, f, 1, 2);
    NO_STORE(1, VRDformClear, f); NO_STORE(1, VRDformKill, f, 1, 1);
    NO_STORE(1, VRDformCreate, kNull, key, nullptr, &e); NO_STORE(kNull, VRDformGetOwner, f);
    NO_STORE(1, VRDformSetOwner, f, kNull); NO_STORE(1, VRDformIsKilled, f);
    NO_STORE(0x7FFFFFFF, VRDformGetProperty, f, 1); NO_STORE(1, VRDformSetProperty, f, 1, 1);
    NO_STORE(1, VRDformDeleteProperty, 1, f); NO_STORE(1, VRDformClearProperties, f);
    NO_STORE(1, VRDformSetPropertyList, f, kNull); NO_STORE(1, VRDformCopy, f, kNull, 0, nullptr, &e);
    NO_STORE(1, VRDformCopyEntities, f, 0, 1, f, 0); NO_STORE(nullptr, VRDformGetPtrKeyword, f);
    NO_STORE(0, VRDformCmpKeys, f, 1, keys); NO_STORE(1, VRDformSetKey, f, 0, nullptr, 0, &e);
    NO_STORE(kNull, VRDformFindFirst, key, 0, nullptr, nullptr);
    NO_STORE(kNull, VRDformFindNext, key, 0, nullptr, &cursor); NO_STORE(kNull, VRDformFindIn, f, key, 0, nullptr, &at);
    NO_STORE(kNull, VRDformFindUnder, f, key, 0, nullptr, &f, &at);
    NO_STORE(kNull, VRDformFindOver, f, key, 0, nullptr); NO_STORE(kNull, VRDformFindEntity, &key, &cursor, &at, one);
    NO_STORE(0, VRDstrCmp, &one, &one); NO_STORE(0, VRDstrCmpNatural, &one, &one);
    NO_STORE(1, VRDfileWriteBinary, "unused"); NO_STORE(1, VRDfileReadBinary, "unused");
    VRDkeyGetValue(0, buffer, sizeof buffer);
    VRDformGetKeyword(f, keyword, sizeof keyword);
    EXPECT_TRUE(*buffer == 0 && *keyword == 0);
    EXPECT_EQ(vrdtest::statisticsReport(), "");
    EXPECT_EQ(takeReports(), vrdtest::noStoreReports({"VRDkeyGetValue", "VRDformGetKeyword", "VRDstatistics"}));
    EXPECT_TRUE(e == (VRDentity{7, 7}) && key == 0 && VRDpointGetValue(one).x == INT32_MAX);
    EXPECT_EQ(takeReports(), vrdtest::noStoreReports({"VRDpointGetValue"}));
}

// Messages are found by the code's absolute value; anything outside the table, INT32_MIN included
// (whose absolute value overflows an int), is "Unknown error".  (Installing a handler gives back
// the previous one: test_hpp checks that around its own handler swaps.)
TEST(ErrorMessages, ByAbsoluteValueAndUnknownOutside) {
    EXPECT_STREQ(VRDerrorMessage(-2), "Can't allocate work space");
    EXPECT_STREQ(VRDerrorMessage(24), VRDerrorMessage(-24));
    for (int code : {-1, -25, 25, INT32_MIN}) EXPECT_STREQ(VRDerrorMessage(code), "Unknown error") << code;
}

TEST_F(Stores, LastErrorWithoutAHandlerAndCheckModeOnlyAddingTests) {
    VRDerrorHandler(nullptr);
    EXPECT_TRUE(VRDkeyGetPtrValue(3) == nullptr && VRDlastError() == VRD_E_BADKEY);
    uint32_t key;
    EXPECT_TRUE(VRDkeyCreate("a", &key) == 0 && VRDlastError() == VRD_E_BADKEY);  // a success resets nothing
    VRDerrorReport("caller", -7);
    EXPECT_EQ(VRDlastError(), -7);
    VRDerrorHandler(vrdtest::recordReport);
    VRDsetCheck(0);  // unchecked, still never read past the table; 2 turns it on as 1 does
    EXPECT_EQ(VRDkeyGetPtrValue(1), nullptr);
    VRDsetCheck(2);
    EXPECT_EQ(VRDkeyGetPtrValue(1), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetPtrValue", VRD_E_BADKEY}}));
}

TEST(Entities, NullAndEquality) {
    EXPECT_TRUE(VRDnullEntity().first == 0 && VRDnullEntity().second == 0);
    VRDentity f{0x80000002u, 9}, other{0x80000002u, 8}, s{0x20000000u, 0}, id{0x28000000u, 0};
    EXPECT_TRUE(VRDentityEqual(f, f) == 1 && VRDentityEqual(f, other) == 0 && VRDentityEqual(s, id) == 0);
}

using Kinds = vrdtest::StoreTest;
using vrdtest::entity;
using vrdtest::expectOk;

// Every kind the library makes, with the value each helper must read from it.
TEST_F(Kinds, HelpersReadWhatThePoolsMade) {
    struct Made { VRDentity e; VRDkind kind; int32_t small; };  // small: what VRDentityGetSmallInt reads
    VRDentity e[9], form, part;
    expectOk({VRDintCreate(134217727, &e[0]), VRDintCreate(-134217727, &e[1]), VRDintCreate(0, &e[2]),
              VRDintCreate(134217728, &e[3]), VRDintCreate(INT_MIN, &e[4]), VRDstringCreate("s", &e[5]),
              VRDidCreate("s", &e[6]), VRDrealCreate(0.5, &e[7]), VRDpointCreate(-3, 1 << 20, &e[8]),
              VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "K", &form),
              VRDformAddForm(form, (uint32_t)-1, VRD_NO_KEY, "PART", &part)});
    const Made made[] = {
        {e[0], VRD_KIND_SMALLINT, 134217727}, {e[1], VRD_KIND_SMALLINT, -134217727},
        {e[2], VRD_KIND_SMALLINT, 0},         {e[3], VRD_KIND_BIGINT, VRD_NO_INT},
        {e[4], VRD_KIND_BIGINT, VRD_NO_INT},  {e[5], VRD_KIND_STRING, VRD_NO_INT},
        {e[6], VRD_KIND_ID, VRD_NO_INT},      {e[7], VRD_KIND_REAL, VRD_NO_INT},
        {e[8], VRD_KIND_POINT, VRD_NO_INT},   {form, VRD_KIND_FORM, VRD_NO_INT},
        {part, VRD_KIND_FORM, VRD_NO_INT},    {VRDnullEntity(), VRD_KIND_NONE, VRD_NO_INT},
        {entity(0x38000000u), VRD_KIND_NONE, VRD_NO_INT},  // tag 7: never made, carries no value
    };
    for (const Made &m : made) {
        SCOPED_TRACE(::testing::Message() << std::hex << m.e.first << ":" << m.e.second);
        EXPECT_EQ(VRDentityGetKind(m.e), m.kind);
        EXPECT_EQ(VRDentityGetSmallInt(m.e), m.small);
        EXPECT_TRUE(m.small == VRD_NO_INT || m.small == VRDintGetValue(m.e));
        EXPECT_EQ(VRDentityIsForm(m.e), m.kind == VRD_KIND_FORM);
        EXPECT_EQ(VRDentityIsPoint(m.e), m.kind == VRD_KIND_POINT);
        EXPECT_EQ(VRDentityHasValue(m.e), m.e.first >= 0x08000000u);  // tag 7 has a tag, not a value
        EXPECT_EQ(VRDformGetKey(m.e), m.kind == VRD_KIND_FORM ? m.e.first & 0x7FFFFFFFu : VRD_NO_KEY);
    }
    // The key read from the words is the key the keyword table gave.
    uint32_t key = 0;
    EXPECT_TRUE(VRDkeyCreate("PART", &key) == 0 && VRDformGetKey(part) == key && VRDformGetKey(form) != key);
    EXPECT_TRUE(takeReports().empty());
}

using vrdtest::statisticsReport;

constexpr uint32_t kEnd = 0xFFFFFFFF;
const char kHeading[] =
    "Key  Keyword      Forms  Bytes   Ents    Bytes   Free    Entity distribution\n"
    "---  -------      -----  -----   ----    -----   ----    -------------------\n";

TEST_F(Stores, NewStoreShowsOnlyTheFixedIndexes) {
    EXPECT_EQ(statisticsReport(),
              std::string("Keys           - 0/0 entries, 0/0 bytes, 512/512 lists\n"
                          "Xcoords        - 0 bytes, 0 next, 2048 index, 0 fsp\n"
                          "Ycoords        - 0 bytes, 0 next, 2048 index, 0 fsp\n"
                          "Points         - 0 bytes,  0 fsp\n"
                          "Strings/Ids    - 0/0 bytes, 4096 index\n"
                          "Bigints        - 0/0 entries, 0/0 lists\n"
                          "Reals          - 0/0 entries, 0/0 lists\n") +
                  kHeading + "Total space allocated  - 12780 bytes, 0 free  ( form fsp 0 in 0 keys )\n");
    EXPECT_TRUE(takeReports().empty());
}

// One key of a long keyword whose five forms hold 0, 1, 1, 5 and 2 entities,
// one point, one string, one big integer, one real, and a key without forms.
TEST_F(Stores, PopulatedStoreFiguresFollowTheGrowthSteps) {
    uint32_t key, bare;
    VRDentity f[5], e;
    const VRDentity five[5] = {entity(0x18000001), entity(0x18000002), entity(0x18000003), entity(0x18000004),
                               entity(0x18000005)};
    ASSERT_EQ(VRDkeyCreate("LONGKEYWORDNAME", &key), 0);
    for (VRDentity &form : f) ASSERT_EQ(VRDformCreate(VRDnullEntity(), key, nullptr, &form), 0);
    vrdtest::expectOk({VRDformAddInt(f[1], kEnd, 1, &e), VRDformAddInt(f[2], kEnd, 2, &e),
                       VRDformAddEntities(f[3], kEnd, 5, five), VRDformAddEntities(f[4], kEnd, 2, five),
                       VRDkeyCreate("BARE", &bare), VRDpointCreate(5, 7, &e), VRDstringCreate("hi", &e),
                       VRDintCreate(1 << 30, &e), VRDrealCreate(0.5, &e)});
    // Free room of the key: (8 - 5) x 28 + (1020 - 7) x 8 = 8188.
    EXPECT_EQ(statisticsReport(),
              std::string("Keys           - 2/5 entries, 21/500 bytes, 528/552 lists\n"
                          "Distribution\n0  -  126\n1  -  2\n"
                          "Xcoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                          "Xcoord Distribution\n0  -  1023\n1  -  1\n"
                          "Ycoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                          "Ycoord Distribution\n0  -  1023\n1  -  1\n"
                          "Points         - 0 bytes,  0 fsp\n"
                          "Strings/Ids    - 7/2030 bytes, 4096 index\n"
                          "Distribution\n0  -  1023\n1  -  1\n"
                          "Bigints        - 1/125 entries, 4/500 lists\n"
                          "Reals          - 1/62 entries, 8/496 lists\n") +
                  kHeading +
                  "0    LONGKEYWORDN 5      140     7       56      8188    - 1/2, 2/1, 3/0, >3/1, max 5, tot 9\n"
                  "Total space allocated  - 36970 bytes, 23926 free  ( form fsp 8188 in 1 keys )\n");
}

// A chain of 101 keywords in one bucket has no counter of its own: the
// distribution stops at 99 and counts it nowhere.  A 2-slot run given back
// below the high-water mark counts as free room: (2 - 2) x 28 + (1020 - 4) x 8 + 2 x 8.
TEST_F(Stores, LongChainsAndFreedRuns) {
    uint32_t key;
    for (int i = 0; i < 101; ++i) ASSERT_EQ(VRDkeyCreate(("K" + std::to_string(i)).c_str(), &key), 0);
    VRDentity a, b;
    const VRDentity two[2] = {entity(0x18000001), entity(0x18000002)};
    vrdtest::expectOk({VRDformCreate(VRDnullEntity(), 0, nullptr, &a), VRDformCreate(VRDnullEntity(), 0, nullptr, &b),
                       VRDformAddEntities(a, kEnd, 2, two), VRDformAddEntities(b, kEnd, 2, two), VRDformClear(a)});
    std::string text = statisticsReport(), chains = "\nDistribution\n0  -  127\n";
    for (int n = 1; n <= 99; ++n) chains += std::to_string(n) + "  -  0\n";
    EXPECT_NE(text.find(chains + "Xcoords"), std::string::npos) << text;
    EXPECT_NE(text.find("0    K0           2      56      4       32      8144   "
                        " - 1/0, 2/1, 3/0, >3/0, max 2, tot 2\n"),
              std::string::npos);
}

}  // namespace
