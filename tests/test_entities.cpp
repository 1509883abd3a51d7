// test_entities.cpp - a form's entity list: insertion, deletion, reading, clearing and killing.
#include "forms/forms.h"
#include "support.h"

namespace {
using vrdtest::Report;
using Reports = std::vector<Report>;
using List = std::vector<VRDentity>;
using Ints = std::vector<int32_t>;
const VRDentity kNull{0, 0};

// Every form is of the key "ITEM" unless a test says otherwise; no report may go unchecked.
class Entities : public vrdtest::TreeTest {
protected:
    void SetUp() override { TreeTest::SetUp(), k = key("ITEM"); }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
    VRDentity item(VRDentity owner = kNull) { return form("ITEM", owner); }
    VRDentity sub(VRDentity owner) { return child(owner, "ITEM"); }
    VRDentity ghost(uint32_t index) { return vrdtest::entity(0x80000000u | k, index); }
    // Integer entities, one for each digit.
    List ints(const char *d) { List l; for (; *d; ++d) l.push_back(integer(*d - '0')); return l; }
    VRDentity itemWith(const List &l) {
        VRDentity f = item();
        EXPECT_EQ(VRDformAddEntities(f, kEnd, static_cast<uint32_t>(l.size()), l.data()), 0);
        return f;
    }
    // Read-only views through the forms area, for what the interface does not show.
    bool holdsForms(VRDentity f) {
        KeyRecord *kr = nullptr;
        FormRecord *fr = nullptr;
        return vrd::resolveForm(store, f, nullptr, &kr, &fr) && vrd::holdsForms(*fr);
    }
    // Where a non-empty list lives: in the record for one entity, in a slab run for more.
    const VRDentity *listAddress(VRDentity f) {
        KeyRecord *kr = nullptr;
        FormRecord *fr = nullptr;
        return vrd::resolveForm(store, f, nullptr, &kr, &fr) ? vrd::listOf(*kr, *fr) : nullptr;
    }
    // Slots handed out and not on the free list: every live run counted once.
    int liveSlots() {
        vrd::KeyFigures figures = vrd::keyFigures(store, k);
        return figures.slotsUsed - static_cast<int>(figures.freeSlots);
    }
    // Whether every call gave its expected result; braced lists run their calls in order.
    static bool all(std::initializer_list<bool> r) { for (bool b : r) if (!b) return false; return true; }
    uint32_t k = 0;
};

TEST_F(Entities, InsertAndDeleteAtEveryPositionInlineAndInRuns) {
    struct Row { const char *before; uint32_t at; int32_t n; const char *added, *after; };  // n < 0: insert
    const Row rows[] = {
        {"", 99, -1, "9", "9"}, {"1", 0, -1, "9", "91"}, {"1", 1, -1, "9", "19"}, {"1", kEnd, -1, "9", "19"},
        {"123", 0, -1, "9", "9123"}, {"123", 2, -1, "98", "12983"}, {"123", 3, -1, "9", "1239"},
        {"123", kEnd, -1, "9", "1239"}, {"1", 0, 1, "", ""}, {"1", kEnd, 1, "", ""}, {"12", 0, 1, "", "2"},
        {"12", kEnd, 1, "", "1"}, {"1234", 0, 2, "", "34"}, {"1234", 1, 2, "", "14"},
        {"1234", kEnd, 1, "", "123"}, {"1234", 2, 0, "", "1234"}};
    for (const Row &r : rows) {
        VRDentity f = itemWith(ints(r.before));
        List added = ints(r.added);
        ASSERT_EQ(r.n < 0 ? VRDformAddEntities(f, r.at, static_cast<uint32_t>(added.size()), added.data())
                          : VRDformDeleteEntities(f, r.at, static_cast<uint32_t>(r.n)), 0) << r.at;
        EXPECT_EQ(list(f), ints(r.after)) << r.at;
        // One entity lives in the record itself, more in exactly one run of the slab.
        uint32_t count = 0;
        const VRDentity *p = VRDformGetPtrEntities(f, &count);
        EXPECT_EQ(p, count ? listAddress(f) : p) << r.at;
        EXPECT_EQ(liveSlots(), count > 1 ? static_cast<int>(count) : 0) << r.at;
        ASSERT_EQ(VRDformClear(f), 0);
    }
}

TEST_F(Entities, EntitiesFromTheSlabItselfSurviveItsGrowth) {
    VRDentity f = itemWith(ints("123")), h = itemWith(ints("6"));
    ASSERT_EQ(VRDformAddEntities(f, 1, 3, VRDformGetPtrEntities(f, nullptr)), 0);
    ASSERT_EQ(VRDformAddEntities(h, 0, 1, VRDformGetPtrEntities(h, nullptr)), 0);  // from the record itself
    EXPECT_EQ(std::pair(list(f), list(h)), std::pair(ints("112323"), ints("66")));
    // Fill the slab, then copy f's run into a list whose growth moves the slab.
    VRDentity big = itemWith(List(1003, integer(5))), g = itemWith(ints("44"));
    ASSERT_EQ(vrd::keyFigures(store, k).slotsAllocated, 1020);
    ASSERT_EQ(VRDformAddEntities(g, kEnd, 6, VRDformGetPtrEntities(f, nullptr)), 0);
    EXPECT_GT(vrd::keyFigures(store, k).slotsAllocated, 1020);
    EXPECT_EQ(std::pair(list(g), list(big)), std::pair(ints("44112323"), List(1003, integer(5))));
}

TEST_F(Entities, ReadingSettingAndRefusals) {
    List l = ints("4546"), s = ints("162"), tens = ints("78"), buffer(3, kNull);
    VRDentity f = itemWith(l), single = itemWith(ints("1")), one = integer(1), e{}, bad = ghost(99);
    EXPECT_TRUE(all({VRDformGetEntity(f, kEnd) == l[3], VRDentityGetPosition(f, l[2]) == 0}));  // the first
    EXPECT_EQ(VRDformGetEntities(2, 100, f, buffer.data()), 2u);
    EXPECT_EQ(buffer, (List{l[2], l[3], kNull}));
    EXPECT_TRUE(all({VRDformCmpEntity(3, 3, f, s.data()) == 1, VRDformCmpEntity(0, 3, f, s.data()) == 0}));
    ASSERT_TRUE(all({VRDformSetEntity(single, 0, tens[0]) == 0, VRDformSetEntity(f, 3, tens[1]) == 0}));
    EXPECT_EQ(list(single), List{tens[0]});
    // Positions out of range: -14 in check mode, refused silently without.
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        EXPECT_TRUE(all({VRDformAddEntities(single, 2, 1, &one) == 1, VRDformDeleteEntities(f, 3, 2) == 1,
                         VRDformSetEntity(f, 4, one) == -14, VRDformCmpEntity(kEnd, 1, f, &one) == 0}));
    }
    VRDsetCheck(1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformAddEntities", -14}, {"VRDformDeleteEntities", -14},
                                      {"VRDformSetEntity", -14}, {"VRDformCmpEntity", -14}}));
    EXPECT_EQ(list(f), (List{l[0], l[1], l[2], tens[1]}));
    // Position arithmetic is 32-bit: -1 on an empty list wraps to a range of nothing.  Lists of one
    // entity live in the record, whatever the position.
    VRDentity empty = item(), two = integer(2);
    EXPECT_TRUE(VRDformDeleteEntities(empty, kEnd, 1) == 0 && VRDformDeleteEntities(empty, kEnd, 2) == 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformDeleteEntities", -14}}));
    VRDsetCheck(0);
    ASSERT_EQ(VRDformSetEntity(single, 7, two), 0);
    EXPECT_TRUE(all({VRDformGetEntity(single, 0) == two, VRDformCmpEntity(9, 1, single, &two) == 1}));
    VRDsetCheck(1);
    // An unresolvable form: readers report -9 under "formptr", writers under their own names.
    EXPECT_TRUE(all({VRDformGetEntity(bad, 0) == kNull, VRDformGetEntities(0, 1, bad, &e) == 0,
                     VRDformEntityCount(bad) == 0, VRDformGetPtrEntities(bad, nullptr) == nullptr,
                     VRDentityGetPosition(bad, one) == -1, VRDformSetEntity(bad, 0, one) == 1}));
    EXPECT_EQ(takeReports(), Reports(6, Report{"formptr", VRD_E_BADFORM}));
    EXPECT_TRUE(all({VRDformAddEntities(bad, 0, 1, &one) == 1, VRDformDeleteEntities(bad, 0, 1) == 1,
                     VRDformClear(bad) == 1, VRDformKill(bad, 1, 1) == 1}));
    EXPECT_EQ(takeReports(), (Reports{{"VRDformAddEntities", -9}, {"VRDformDeleteEntities", -9},
                                      {"VRDformClear", -9}, {"VRDformKill", -9}}));
}

TEST_F(Entities, KillFollowsHoldsFormsUnlinksOnceAndFreesInRecursiveOrder) {
    VRDentity owner = item(), f = item(owner), g = item(owner), s = item(), one = integer(1);
    add(f, {s});
    EXPECT_TRUE(holdsForms(f) && VRDformDeleteEntities(f, 0, 1) == 0 && !holdsForms(f));  // emptied: cleared
    add(f, {one, s});
    EXPECT_TRUE(VRDformClear(f) == 0 && !holdsForms(f) && VRDformGetOwner(f) == owner);
    // A form put in place by VRDformSetEntity is not noticed: the kill does not reach it.
    VRDentity h = itemWith({one, one}), i = item(), t = sub(i);
    ASSERT_TRUE(all({VRDformSetEntity(h, 1, s) == 0, VRDformKill(h, 1, 0) == 0, VRDformKill(i, 1, 0) == 0}));
    EXPECT_EQ(std::pair(VRDformIsKilled(s), VRDformIsKilled(t)), std::pair(0, 1));
    add(owner, {one, f, one, f});
    ASSERT_TRUE(all({VRDformKill(f, 0, 1) == 0, VRDformKill(g, 0, 1) == 0}));  // g is not listed: no unlink
    EXPECT_EQ(list(owner), (List{one, one, f}));
    // root [a, 1, b] with property list p [q]; a [a1, a2]; b [b1]. lone [c] with r [u].
    VRDentity root = item(), a = sub(root);
    add(root, {one});
    VRDentity b = sub(root), a1 = sub(a), a2 = sub(a), b1 = sub(b), p = item(), q = sub(p);
    VRDentity lone = item(), c = sub(lone), r = item(), u = sub(r);
    ASSERT_TRUE(all({VRDformSetPropertyList(root, p) == 0, VRDformSetPropertyList(lone, r) == 0}));
    ASSERT_EQ(VRDformKill(lone, 0, 0), 0);  // without recurse: the form and its property list
    EXPECT_EQ((Ints{VRDformIsKilled(c), VRDformIsKilled(r), VRDformIsKilled(u)}), (Ints{0, 1, 1}));
    EXPECT_TRUE(VRDformKill(root, 1, 0) == 0 && liveSlots() == 3);  // only the owner's run is left
    // Killed a1, a2, a, b1, b, q, p, root; the last killed is reused first.
    EXPECT_EQ((List{item(), item(), item(), item(), item(), item(), item(), item()}),
              (List{root, p, q, b, b1, a, a2, a1}));
}

TEST_F(Entities, KillEndsOnCyclesKillingEachFormOnce) {
    VRDentity a = item(), b = item(), c = item();
    add(a, {b, b, c});
    add(b, {a, b});
    add(c, {a});
    ASSERT_TRUE(all({VRDformKill(a, 1, 0) == 0, VRDformKill(b, 1, 1) == 0}));  // b is dead: no-op
    EXPECT_EQ((List{item(), item(), item(), item()}), (List{a, c, b, ghost(3)}));
}  // a million-level chain is killed in the copy suite, after its copy and search

// Entities added to a killed form overwrite its link on the chain of
// reusable records; emptied again, it ends the chain there instead of
// linking to what the list held, so the store still dumps and reads back.
TEST_F(Entities, AKilledFormEmptiedAgainEndsItsChain) {
    VRDentity a = item(), b = item(), c = item(), held = item(), made{};
    for (VRDentity f : {a, b, c}) ASSERT_EQ(VRDformKill(f, 0, 0), 0);  // chain c, b, a
    ASSERT_TRUE(all({VRDformAddEntities(c, kEnd, 1, &held) == 0, VRDformDeleteEntities(c, 0, 1) == 0}));
    ASSERT_TRUE(all({VRDformAddEntities(b, kEnd, 3, ints("123").data()) == 0, VRDformDeleteEntities(b, 0, 3) == 0}));
    std::string path = vrdtest::scratchPath("chain.bin");
    EXPECT_TRUE(VRDfileWriteBinary(path.c_str()) == 0 && VRDfileReadBinary(path.c_str()) == 0);
    std::remove(path.c_str());
    ASSERT_TRUE(VRDformCreate(kNull, k, nullptr, &made) == 0 && made == c);
    ASSERT_TRUE(VRDformCreate(kNull, k, nullptr, &made) == 0 && made == vrdtest::entity(c.first, 4));
    // Reused while it holds entities, a killed form ends the chain too: the
    // first slot of its run (slot 0 of a fresh key, like the form) is not
    // taken for a link, so killed again it does not link to itself.
    VRDentity d = form("FRESH");
    ASSERT_TRUE(all({VRDformKill(d, 0, 0) == 0, VRDformAddEntities(d, kEnd, 2, ints("12").data()) == 0}));
    ASSERT_TRUE(VRDformCreate(kNull, key("FRESH"), nullptr, &made) == 0 && made == d && VRDformKill(d, 0, 0) == 0);
    path = vrdtest::scratchPath("chain2.bin");
    EXPECT_TRUE(VRDfileWriteBinary(path.c_str()) == 0 && VRDfileReadBinary(path.c_str()) == 0);
    std::remove(path.c_str());
}

TEST_F(Entities, ListLengthLimitHoldsInEveryMode) {
    constexpr uint32_t kMax = 16777215;
    VRDentity one = integer(1), f = item(), g = itemWith(ints("12"));
    ASSERT_EQ(VRDformAddEntities(f, kEnd, kMax, List(kMax, one).data()), 0);
    EXPECT_EQ(VRDformAddEntities(f, kEnd, 1, &one), 1);
    VRDsetCheck(0);  // and a count that wraps 32 bits
    EXPECT_TRUE(VRDformAddEntities(f, 0, 1, &one) == 1 && VRDformAddEntities(g, kEnd, 0xFFFFFFFFu, &one) == 1);
    EXPECT_EQ(takeReports(), Reports(3, Report{"VRDformAddEntities", VRD_E_TOOMANYENTITIES}));
    EXPECT_EQ(VRDformEntityCount(f), kMax);
}

TEST_F(Entities, FailedAllocationsLeaveListsUsable) {
    VRDentity owner = item(), f = sub(owner), s = sub(f), two = integer(2), h = itemWith(ints("1"));
    heapwrapFailNth(1);  // a kill without work space touches nothing
    EXPECT_EQ(VRDformKill(f, 1, 1), 1);
    EXPECT_TRUE(list(owner) == List{f} && VRDformIsKilled(f) + VRDformIsKilled(s) == 0);
    heapwrapFailNth(1);  // the slab's first allocation
    EXPECT_TRUE(VRDformAddEntities(h, kEnd, 1, &two) == 1 && list(h) == ints("1"));
    ASSERT_EQ(VRDformAddEntities(h, kEnd, 999, List(999, two).data()), 0);
    ASSERT_EQ(vrd::keyFigures(store, k).slotsAllocated, 1020);
    heapwrapFailNth(1);  // a deletion that needs a new run past the capacity
    EXPECT_EQ(VRDformDeleteEntities(h, 0, 1), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformKill", -2}, {"getElist", -2}, {"getElist", -2}}));
    EXPECT_TRUE(VRDformDeleteEntities(h, 0, 1) == 0 && list(h) == List(999, two));
}

}  // namespace
