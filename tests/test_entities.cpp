// test_entities.cpp - a form's entity list: insertion, deletion, reading, clearing and killing.
#include <algorithm>

#include "forms/forms.h"
#include "support.h"

namespace {
using vrdtest::Report;
using Reports = std::vector<Report>;
using List = std::vector<VRDentity>;
using Ints = std::vector<int32_t>;
const VRDentity kNull{0, 0};

// Every form is of the key "ITEM" unless a test says otherwise.
class Entities : public vrdtest::TreeTest {
protected:
    void SetUp() override { TreeTest::SetUp(), k = key("ITEM"); }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }  // none left unchecked
    VRDentity item(VRDentity owner = kNull) { return form("ITEM", owner); }
    VRDentity sub(VRDentity owner) { return child(owner, "ITEM"); }
    List ints(const Ints &values) {
        List l;
        for (int32_t v : values) l.push_back(integer(v));
        return l;
    }
    VRDentity itemWith(const List &l) {
        VRDentity f = item();
        EXPECT_EQ(VRDformAddEntities(f, kEnd, static_cast<uint32_t>(l.size()), l.data()), 0);
        return f;
    }
    // Read-only views of the records, for what the interface does not show.
    const FormRecord &record(VRDentity f) { return store->keyRecords[k].formRecords[f.second]; }
    const KeyRecord &keyRecord() { return store->keyRecords[k]; }
    const VRDentity *inRecord(VRDentity f) { return reinterpret_cast<const VRDentity *>(record(f).data); }
    // Slots handed out and not on the free list: every live run counted once.
    int liveSlots() {
        int used = keyRecord().slabUsed;
        for (int b = keyRecord().slabFree; b != -1; b = static_cast<int>(keyRecord().slabSlots[b].first))
            used -= static_cast<int>(keyRecord().slabSlots[b].second);
        return used;
    }
    // Whether every call gave its expected result; braced lists run their calls in order.
    static bool all(std::initializer_list<bool> r) { return std::count(r.begin(), r.end(), false) == 0; }
    uint32_t k = 0;
};

TEST_F(Entities, InsertAndDeleteAtEveryPositionInlineAndInRuns) {
    struct Row { Ints before; uint32_t at; int32_t n; Ints added, after; };  // n < 0: insert `added`
    const Row rows[] = {
        {{}, 99, -1, {9}, {9}}, {{1}, 0, -1, {9}, {9, 1}}, {{1}, 1, -1, {9}, {1, 9}}, {{1}, kEnd, -1, {9}, {1, 9}},
        {{1, 2, 3}, 0, -1, {9}, {9, 1, 2, 3}}, {{1, 2, 3}, 2, -1, {9, 8}, {1, 2, 9, 8, 3}},
        {{1, 2, 3}, 3, -1, {9}, {1, 2, 3, 9}}, {{1, 2, 3}, kEnd, -1, {9}, {1, 2, 3, 9}},
        {{1}, 0, 1, {}, {}}, {{1}, kEnd, 1, {}, {}}, {{1, 2}, 0, 1, {}, {2}}, {{1, 2}, kEnd, 1, {}, {1}},
        {{1, 2, 3, 4, 5}, 0, 2, {}, {3, 4, 5}}, {{1, 2, 3, 4, 5}, 1, 3, {}, {1, 5}},
        {{1, 2, 3, 4, 5}, kEnd, 1, {}, {1, 2, 3, 4}}, {{1, 2, 3, 4, 5}, 2, 0, {}, {1, 2, 3, 4, 5}}};
    for (const Row &r : rows) {
        VRDentity f = itemWith(ints(r.before));
        List added = ints(r.added);
        int rc = r.n < 0 ? VRDformAddEntities(f, r.at, static_cast<uint32_t>(added.size()), added.data())
                         : VRDformDeleteEntities(f, r.at, static_cast<uint32_t>(r.n));
        ASSERT_EQ(rc, 0) << r.at;
        EXPECT_EQ(list(f), ints(r.after)) << r.at;
        // One entity lives in the record itself, more in exactly one run of the slab.
        uint32_t count = 0;
        const VRDentity *p = VRDformGetPtrEntities(f, &count);
        EXPECT_TRUE(count == 0 || p == (count > 1 ? keyRecord().slabSlots + record(f).data[0] : inRecord(f))) << r.at;
        EXPECT_EQ(liveSlots(), count > 1 ? static_cast<int>(count) : 0) << r.at;
        ASSERT_EQ(VRDformClear(f), 0);
    }
}

TEST_F(Entities, EntitiesFromTheSlabItselfSurviveItsGrowth) {
    VRDentity f = itemWith(ints({1, 2, 3})), h = itemWith(ints({6}));
    ASSERT_EQ(VRDformAddEntities(f, 1, 3, VRDformGetPtrEntities(f, nullptr)), 0);
    EXPECT_EQ(list(f), ints({1, 1, 2, 3, 2, 3}));
    ASSERT_EQ(VRDformAddEntities(h, 0, 1, VRDformGetPtrEntities(h, nullptr)), 0);  // from the record itself
    EXPECT_EQ(list(h), ints({6, 6}));
    // Fill the slab, then copy f's run into a list whose growth moves the slab.
    VRDentity big = itemWith(List(1003, integer(5))), g = itemWith(ints({4, 4}));
    ASSERT_EQ(keyRecord().slabCapacity, 1020);
    ASSERT_EQ(VRDformAddEntities(g, kEnd, 6, VRDformGetPtrEntities(f, nullptr)), 0);
    EXPECT_GT(keyRecord().slabCapacity, 1020);
    EXPECT_EQ(list(g), ints({4, 4, 1, 1, 2, 3, 2, 3}));
    EXPECT_EQ(list(big), List(1003, integer(5)));
}

TEST_F(Entities, ReadingSettingAndRefusals) {
    List l = ints({4, 5, 4, 6}), set = ints({1, 6, 2}), buffer(3, kNull);
    VRDentity f = itemWith(l), single = itemWith(ints({1})), one = integer(1), e{};
    VRDentity ghost = vrdtest::entity(0x80000000u | k, 99);
    EXPECT_EQ(VRDformGetEntity(f, kEnd), l[3]);
    EXPECT_EQ(VRDentityGetPosition(f, l[2]), 0);  // the first of equal entities
    EXPECT_EQ(VRDformGetEntities(2, 100, f, buffer.data()), 2u);
    EXPECT_EQ(buffer, (List{l[2], l[3], kNull}));
    EXPECT_EQ(VRDformCmpEntity(3, 3, f, set.data()), 1);
    EXPECT_EQ(VRDformCmpEntity(0, 3, f, set.data()), 0);
    ASSERT_EQ(VRDformSetEntity(single, 0, integer(10)), 0);
    ASSERT_EQ(VRDformSetEntity(f, 3, integer(30)), 0);
    EXPECT_EQ(list(single), ints({10}));
    // Positions out of range: -14 in check mode, refused silently without.
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        EXPECT_TRUE(all({VRDformAddEntities(single, 2, 1, &one) == 1, VRDformDeleteEntities(f, 3, 2) == 1,
                         VRDformSetEntity(f, 4, one) == -14, VRDformCmpEntity(kEnd, 1, f, &one) == 0}));
    }
    VRDsetCheck(1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformAddEntities", -14}, {"VRDformDeleteEntities", -14},
                                      {"VRDformSetEntity", -14}, {"VRDformCmpEntity", -14}}));
    EXPECT_EQ(list(f), ints({4, 5, 4, 30}));
    // An unresolvable form: readers report -9 under "formptr", writers under their own names.
    EXPECT_TRUE(all({VRDformGetEntity(ghost, 0) == kNull, VRDformGetEntities(0, 1, ghost, &e) == 0,
                     VRDformEntityCount(ghost) == 0, VRDformGetPtrEntities(ghost, nullptr) == nullptr,
                     VRDentityGetPosition(ghost, one) == -1, VRDformSetEntity(ghost, 0, one) == 1}));
    EXPECT_EQ(takeReports(), Reports(6, Report{"formptr", VRD_E_BADFORM}));
    EXPECT_TRUE(all({VRDformAddEntities(ghost, 0, 1, &one) == 1, VRDformDeleteEntities(ghost, 0, 1) == 1,
                     VRDformClear(ghost) == 1, VRDformKill(ghost, 1, 1) == 1}));
    EXPECT_EQ(takeReports(), (Reports{{"VRDformAddEntities", -9}, {"VRDformDeleteEntities", -9},
                                      {"VRDformClear", -9}, {"VRDformKill", -9}}));
}

// Position arithmetic is 32-bit: -1 on an empty list wraps to a range of
// nothing.  Lists of one entity live in the record, whatever the position.
TEST_F(Entities, EdgePositionsOnShortLists) {
    VRDentity empty = item(), single = itemWith(ints({1})), two = integer(2);
    EXPECT_EQ(VRDformDeleteEntities(empty, kEnd, 1), 0);
    EXPECT_EQ(VRDformDeleteEntities(empty, kEnd, 2), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformDeleteEntities", -14}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformSetEntity(single, 7, two), 0);
    EXPECT_EQ(VRDformGetEntity(single, 0), two);
    EXPECT_EQ(VRDformCmpEntity(9, 1, single, &two), 1);
}

TEST_F(Entities, HoldsFormsIsWhatARecursiveKillFollows) {
    VRDentity owner = item(), f = item(owner), s = item(), one = integer(1);
    add(f, {s});
    EXPECT_TRUE(vrd::holdsForms(record(f)));
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 1), 0);  // emptied from one entity: cleared
    EXPECT_FALSE(vrd::holdsForms(record(f)));
    add(f, {one, s});
    ASSERT_EQ(VRDformClear(f), 0);  // clear drops it and keeps the owner
    EXPECT_FALSE(vrd::holdsForms(record(f)));
    EXPECT_EQ(VRDformGetOwner(f), owner);
    // A form put in place by VRDformSetEntity is not noticed: the kill does not reach it.
    VRDentity g = itemWith({one, one}), h = item(), t = sub(h);
    ASSERT_EQ(VRDformSetEntity(g, 1, s), 0);
    ASSERT_EQ(VRDformKill(g, 1, 0), 0);
    ASSERT_EQ(VRDformKill(h, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(s), 0);
    EXPECT_EQ(VRDformIsKilled(t), 1);
}

TEST_F(Entities, KillUnlinksOnceAndFreesInRecursiveOrder) {
    VRDentity owner = item(), f = item(owner), g = item(owner), one = integer(1);
    add(owner, {one, f, one, f});
    ASSERT_EQ(VRDformKill(f, 0, 1), 0);
    ASSERT_EQ(VRDformKill(g, 0, 1), 0);  // not listed: nothing to unlink
    EXPECT_EQ(list(owner), (List{one, one, f}));
    // root [a, 1, b] with property list p [q]; a [a1, a2]; b [b1]. lone [c] with r [u].
    VRDentity root = item(), a = sub(root);
    add(root, {one});
    VRDentity b = sub(root), a1 = sub(a), a2 = sub(a), b1 = sub(b), p = item(), q = sub(p);
    VRDentity lone = item(), c = sub(lone), r = item(), u = sub(r);
    ASSERT_EQ(VRDformSetPropertyList(root, p), 0);
    ASSERT_EQ(VRDformSetPropertyList(lone, r), 0);
    ASSERT_EQ(VRDformKill(lone, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(c), 0);  // without recurse: the form and its property list
    EXPECT_EQ(VRDformIsKilled(r) + VRDformIsKilled(u), 2);
    ASSERT_EQ(VRDformKill(root, 1, 0), 0);
    EXPECT_EQ(liveSlots(), 3);  // only the owner's run is left
    // Killed a1, a2, a, b1, b, q, p, root; the last killed is reused first.
    List reused;
    for (int i = 0; i < 8; ++i) reused.push_back(item());
    EXPECT_EQ(reused, (List{root, p, q, b, b1, a, a2, a1}));
}

TEST_F(Entities, KillEndsOnCyclesAndDeepChainsKillingEachFormOnce) {
    VRDentity a = item(), b = item(), c = item();
    add(a, {b, b, c});
    add(b, {a, b});
    add(c, {a});
    ASSERT_EQ(VRDformKill(a, 1, 0), 0);
    ASSERT_EQ(VRDformKill(b, 1, 1), 0);  // already killed: nothing more happens
    EXPECT_EQ((List{item(), item(), item(), item()}), (List{a, c, b, vrdtest::entity(0x80000000u | k, 3)}));
    // A chain a million levels deep, over many keys so that no form array grows large.
    std::vector<uint32_t> keys(1000);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = key(("L" + std::to_string(i)).c_str());
    VRDentity root{}, again{};
    ASSERT_EQ(VRDformCreate(kNull, keys[0], nullptr, &root), 0);
    VRDentity inner = root;
    for (int depth = 1; depth < 1000000; ++depth)
        ASSERT_EQ(VRDformAddForm(inner, kEnd, keys[depth % 1000], nullptr, &inner), 0);
    ASSERT_EQ(VRDformKill(root, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(inner), 1);
    ASSERT_EQ(VRDformCreate(kNull, keys[0], nullptr, &again), 0);  // the root died last
    EXPECT_EQ(again, root);
}

TEST_F(Entities, FailedKillLeavesTheRestAlive) {
    VRDentity owner = item(), f = sub(owner), s = sub(f);
    heapwrapFailNth(1);  // no work space: nothing touched
    EXPECT_EQ(VRDformKill(f, 1, 1), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformKill", VRD_E_NOMEM}}));
    EXPECT_EQ(list(owner), List{f});
    EXPECT_EQ(VRDformIsKilled(f) + VRDformIsKilled(s), 0);
    // f [s, s, ghost]: s dies once, the unresolvable entity stops the kill short of f.
    add(f, {s, vrdtest::entity(0x80000000u | k, 500)});
    EXPECT_EQ(VRDformKill(f, 1, 0), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformKill", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformIsKilled(s), 1);
    EXPECT_EQ(VRDformIsKilled(f), 0);
}

TEST_F(Entities, ListLengthLimitHoldsInEveryMode) {
    constexpr uint32_t kMax = 16777215;
    VRDentity one = integer(1), f = item(), g = itemWith(ints({1, 2}));
    ASSERT_EQ(VRDformAddEntities(f, kEnd, kMax, List(kMax, one).data()), 0);
    EXPECT_EQ(VRDformAddEntities(f, kEnd, 1, &one), 1);
    VRDsetCheck(0);
    EXPECT_EQ(VRDformAddEntities(f, 0, 1, &one), 1);
    EXPECT_EQ(VRDformAddEntities(g, kEnd, 0xFFFFFFFFu, &one), 1);  // a count that wraps 32 bits
    EXPECT_EQ(takeReports(), Reports(3, Report{"VRDformAddEntities", VRD_E_TOOMANYENTITIES}));
    EXPECT_EQ(VRDformEntityCount(f), kMax);
}

TEST_F(Entities, FailedSlabGrowthLeavesTheListUsable) {
    VRDentity f = itemWith(ints({1})), two = integer(2);
    heapwrapFailNth(1);  // the slab's first allocation
    EXPECT_EQ(VRDformAddEntities(f, kEnd, 1, &two), 1);
    EXPECT_EQ(list(f), ints({1}));
    ASSERT_EQ(VRDformAddEntities(f, kEnd, 999, List(999, two).data()), 0);
    ASSERT_EQ(keyRecord().slabCapacity, 1020);
    heapwrapFailNth(1);  // a deletion that needs a new run past the capacity
    EXPECT_EQ(VRDformDeleteEntities(f, 0, 1), 1);
    EXPECT_EQ(takeReports(), Reports(2, Report{"getElist", VRD_E_NOMEM}));
    EXPECT_EQ(VRDformEntityCount(f), 1000u);
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 1), 0);
    EXPECT_EQ(VRDformGetEntity(f, 0), two);
}

TEST_F(Entities, EveryFormRoutineNeedsAStore) {
    VRDentity f = itemWith(ints({1, 2})), one = integer(1), e{};
    KeyRecord *kr = nullptr;  // formptr's out-parameters
    FormRecord *fr = nullptr;
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    // Each call gives its failure value and one report under its own name, in order.
    EXPECT_TRUE(all({
        VRDformAddEntities(f, 0, 1, &one) == 1, VRDformDeleteEntities(f, 0, 1) == 1, VRDformGetEntity(f, 0) == kNull,
        VRDformGetEntities(0, 1, f, &e) == 0, VRDformSetEntity(f, 0, one) == 1, VRDformEntityCount(f) == 0,
        VRDformGetPtrEntities(f, nullptr) == nullptr, VRDentityGetPosition(f, one) == -1,
        VRDformCmpEntity(0, 1, f, &one) == 0, VRDformAddForm(f, 0, k, nullptr, &e) == 1,
        VRDformAddInt(f, 0, 1, &e) == 1, VRDformAddReal(0, &e, f, 1.0) == 1, VRDformAddString(f, 0, "s", &e) == 1,
        VRDformClear(f) == 1, VRDformKill(f, 1, 1) == 1, formptr(f, &kr, &fr) == 1,
        VRDformCreate(kNull, k, nullptr, &e) == 1, VRDformGetOwner(f) == kNull, VRDformSetOwner(f, kNull) == 1,
        VRDformIsKilled(f) == 1, VRDformGetProperty(f, 1) == 0x7FFFFFFF, VRDformSetProperty(f, 1, 1) == 1,
        VRDformDeleteProperty(1, f) == 1, VRDformClearProperties(f) == 1, VRDformSetPropertyList(f, kNull) == 1}));
    Reports expected;
    for (const char *name : {
        "VRDformAddEntities", "VRDformDeleteEntities", "VRDformGetEntity", "VRDformGetEntities", "VRDformSetEntity",
        "VRDformEntityCount", "VRDformGetPtrEntities", "VRDentityGetPosition", "VRDformCmpEntity", "VRDformAddForm",
        "VRDformAddInt", "VRDformAddReal", "VRDformAddString", "VRDformClear", "VRDformKill", "formptr",
        "VRDformCreate", "VRDformGetOwner", "VRDformSetOwner", "VRDformIsKilled", "VRDformGetProperty",
        "VRDformSetProperty", "VRDformDeleteProperty", "VRDformClearProperties", "VRDformSetPropertyList"})
        expected.push_back({name, VRD_E_NOSTORE});
    EXPECT_EQ(takeReports(), expected);
}

}  // namespace
