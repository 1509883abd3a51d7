// test_forms.cpp - the forms area: form creation and growth, resolution, owners and reuse of killed records;
// carving and returning runs of a key's entity slab; a form's entity list (insertion, deletion, reading, clearing,
// killing); integer properties kept as pairs in a form's "PLIST" property list; operations that make or kill several
// forms leave the store as it was when memory runs out; deep copies, entity-range copies, keywords and key tests,
// re-keying, a million-level chain; pattern search by key, in a list, down the tree and up the owners.
#include <array>
#include <tuple>
#include <utility>

#include "forms/forms.h"
#include "support.h"

namespace {

using vrdtest::Report;
using Reports = std::vector<Report>;
using vrdtest::entity;
const VRDentity kNull{0, 0};
using List = std::vector<VRDentity>;
using Ints = std::vector<int32_t>;

// Every form is of the key "ITEM" unless a test says otherwise; no report may go unchecked.
class Forms : public vrdtest::TreeTest {
protected:
    void SetUp() override { TreeTest::SetUp(), k = key("ITEM"); }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
    VRDentity item(VRDentity owner = kNull) { return form("ITEM", owner); }
    VRDentity sub(VRDentity owner) { return child(owner, "ITEM"); }
    // The form of index i of key `of` (ITEM unless given), whether it exists or not.
    VRDentity at(uint32_t i, uint32_t of = VRD_NO_KEY) { return entity(0x80000000u | (of == VRD_NO_KEY ? k : of), i); }
    vrd::KeyFigures figures() { return vrd::keyFigures(store, k); }
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
    int liveSlots() { return figures().slotsUsed - static_cast<int>(figures().freeSlots); }
    // Whether every call gave its expected result; braced lists run their calls in order.
    static bool all(std::initializer_list<bool> r) { for (bool b : r) if (!b) return false; return true; }
    uint32_t k = 0;
};

TEST_F(Forms, ArrayGrowsSurvivesAFailedGrowthAndReusesKilledRecordsLastFirst) {
    VRDentity first = item(), f = first;
    heapwrapFailNth(1);  // capacity 1 is full: the next creation must grow; the out-parameter stays
    EXPECT_TRUE(VRDformCreate(kNull, k, nullptr, &f) == 1 && f == first);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformCreate", VRD_E_NOMEM}}));
    std::vector<uint32_t> capacities{figures().formsAllocated};  // and the key keeps working
    for (uint32_t i = 1; i < 1022; ++i) {
        ASSERT_EQ(item(), at(i));
        if (capacities.back() != figures().formsAllocated) capacities.push_back(figures().formsAllocated);
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{1, 2, 4, 8, 16, 32, 64, 128, 256, 511, 766, 1021, 1276}));
    // A reused record is live and fresh: its new owner, no entities.
    add(at(5), {integer(1), integer(2)});
    ASSERT_EQ(VRDformKill(at(3), 0, 0), 0);
    ASSERT_EQ(VRDformKill(at(5), 0, 0), 0);
    EXPECT_EQ(VRDformGetOwner(at(5)), kNull);  // killed: no owner, and no report
    EXPECT_TRUE(item(first) == at(5) && VRDformGetOwner(at(5)) == first && VRDformEntityCount(at(5)) == 0);
    EXPECT_EQ(item(), at(3));
    // With reuse switched off, killed records wait and new indexes are taken.
    ASSERT_EQ(VRDformKill(at(1), 0, 0), 0);
    EXPECT_TRUE(VRDkeyReuse(k, 0) == 0 && item() == at(1022));
    EXPECT_TRUE(VRDkeyReuse(k, 1) == 0 && item() == at(1));
}

TEST_F(Forms, KeysKeywordsAndOwnersOfNewForms) {
    VRDentity f{}, five = integer(5);
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "LAYER", &f), 0);  // the text serves only without a key
    uint32_t layer = VRDkeyFind("LAYER"), empty = key("EMPTY");
    EXPECT_EQ(f, at(0, layer));
    ASSERT_EQ(VRDformCreate(at(999, layer), k, "IGNORED", &f), 0);  // the owner's index is not looked at
    EXPECT_TRUE(f == at(0) && VRDkeyFind("IGNORED") == VRD_NO_KEY && VRDformGetOwner(f) == at(999, layer));
    // Refused: no key and no text, a key never made, an owner whose key is unknown or has no forms.
    EXPECT_TRUE(VRDformCreate(kNull, VRD_NO_KEY, nullptr, &f) == 1 &&
                VRDformCreate(kNull, empty + 1, nullptr, &f) == 1);
    EXPECT_TRUE(VRDformCreate(five, k, nullptr, &f) == 1 && VRDformCreate(at(0, empty), k, nullptr, &f) == 1);
    EXPECT_EQ(takeReports(), Reports(4, {"VRDformCreate", VRD_E_BADFORM}));
    EXPECT_EQ(figures().formsUsed, 1u);  // a refused creation takes no record
    VRDsetCheck(0);  // unchecked, a missing key is still refused; owners are not tested
    EXPECT_EQ(VRDformCreate(kNull, empty + 1, nullptr, &f), 1);
    EXPECT_TRUE(VRDformCreate(five, k, nullptr, &f) == 0 && VRDformGetOwner(f) == five);
}

TEST_F(Forms, FormptrAndOwnerRoutinesRefuseWhatIsNotThere) {
    VRDentity a = item(), b = item();
    KeyRecord *kr = nullptr;  // formptr's out-parameters
    FormRecord *fr = nullptr, *second = nullptr;
    ASSERT_EQ(formptr(entity(k, 1), &kr, &fr), 0);  // the key is the first word without bit 31
    ASSERT_EQ(formptr(b, &kr, &second), 0);
    EXPECT_EQ(fr, second);
    const VRDentity bad[] = {at(2), at(0, key("BARE")), at(0, 77)};  // past formCount, no forms, past keyCount
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        for (VRDentity e : bad) EXPECT_EQ(formptr(e, &kr, &fr), 1) << e;
    }
    VRDsetCheck(1);
    EXPECT_EQ(takeReports(), Reports(3, {"formptr", VRD_E_BADFORM}));
    // Owners are set and read without touching lists; an unresolvable form is reported twice.
    EXPECT_TRUE(VRDformSetOwner(b, a) == 0 && VRDformSetOwner(at(2), a) == VRD_E_BADFORM);
    EXPECT_TRUE(VRDformSetOwner(b, at(0, 40)) == VRD_E_BADFORM && VRDformGetOwner(at(2)) == kNull);
    const Reports expected{{"formptr", -9}, {"VRDformSetOwner", -9}, {"VRDformSetOwner", -9}, {"formptr", -9}};
    EXPECT_EQ(takeReports(), expected);
    EXPECT_EQ(VRDformGetOwner(b), a);
}

using Blocks = std::vector<std::pair<int, int>>;

// Every test works on the slab of a key that has one form, and leaves no report unchecked.
class Slab : public vrdtest::TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        FormRecord *record = nullptr;
        ASSERT_EQ(formptr(form("RUNS"), &k, &record), 0);
        key = VRDkeyFind("RUNS");
    }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
    Blocks freeBlocks() {  // the free list as (block, length) pairs, in list order
        int32_t starts[100], lengths[100];
        Blocks blocks;
        for (uint32_t i = 0, n = vrd::freeBlocks(*k, starts, lengths, 100); i < n && i < 100; ++i)
            blocks.emplace_back(starts[i], lengths[i]);
        return blocks;
    }
    std::array<int32_t, 2> usedAndCapacity() {
        vrd::KeyFigures figures = vrd::keyFigures(store, key);
        return {figures.slotsUsed, figures.slotsAllocated};
    }
    void carve(std::initializer_list<int> lengths) {  // consecutive runs from an empty slab
        int next = 0;
        for (int n : lengths) EXPECT_EQ(getElist(k, n), std::exchange(next, next + n));
    }
    KeyRecord *k = nullptr;
    uint32_t key = 0;
};

TEST_F(Slab, GrowsByTheRequestButAtLeast1020Slots) {
    // {request, run, slabUsed, slabCapacity}: reaching the capacity exactly also grows it.
    const int rows[][4] = {{2, 0, 2, 1020}, {1019, 2, 1021, 2040}, {1019, 1021, 2040, 3060}, {5000, 2040, 7040, 8060}};
    for (const auto &r : rows)
        EXPECT_EQ((std::array{getElist(k, r[0]), usedAndCapacity()[0], usedAndCapacity()[1]}),
                  (std::array{r[1], r[2], r[3]}));
}

TEST_F(Slab, FirstFitSplitsFromTheTailAndTakesExactFitsWhole) {
    carve({10, 5, 2, 4, 2});
    ASSERT_EQ(freeElist(k, 10, 5) + freeElist(k, 17, 4), 0);
    // 5 serves 3 from its tail and keeps 2; the 4-slot block would keep one slot and is passed over.
    EXPECT_EQ(getElist(k, 3), 12);
    EXPECT_EQ(freeBlocks(), (Blocks{{10, 2}, {17, 4}}));
    EXPECT_EQ(getElist(k, 3), 23);  // nothing fits: from the high-water mark
    EXPECT_TRUE(getElist(k, 4) == 17 && getElist(k, 2) == 10 && freeBlocks().empty());  // wherever listed
}

TEST_F(Slab, FreedRunsAppendOrJoinOnce) {
    carve({2, 2, 2, 2, 2, 2, 2, 2});
    // A run touching nothing is appended; after a block it lengthens it, before one takes its place.
    const struct { int start; Blocks blocks; } steps[] = {{8, {{8, 2}}}, {2, {{8, 2}, {2, 2}}},
        {10, {{8, 4}, {2, 2}}}, {6, {{6, 6}, {2, 2}}}, {4, {{4, 8}, {2, 2}}}};  // between two: joins the first listed
    for (const auto &s : steps) {
        ASSERT_EQ(freeElist(k, s.start, 2), 0);
        EXPECT_EQ(freeBlocks(), s.blocks) << s.start;
    }
    // The topmost run lowers the mark; the block below it is not absorbed.
    ASSERT_EQ(freeElist(k, 14, 2) + freeElist(k, 12, 2), 0);
    EXPECT_TRUE(freeBlocks() == (Blocks{{4, 8}, {2, 2}}) && getElist(k, 9) == 12);
}

TEST_F(Slab, RefusedRequestsChangeNothing) {
    carve({1018});
    ASSERT_EQ(freeElist(k, 0, 4), 0);
    for (int check : {1, 0}) {  // bad lengths: reported in check mode only
        VRDsetCheck(check);
        EXPECT_TRUE(getElist(k, 1) == -1 && freeElist(k, 4, 1) == 1);
        EXPECT_TRUE(freeElist(k, 1016, 3) == 1 && freeElist(k, 4, -2) == 1);  // past slabUsed; huge unsigned
    }
    EXPECT_EQ(takeReports(), (Reports{{"getElist", -16}, {"freeElist", -16}, {"freeElist", -16}, {"freeElist", -16}}));
    heapwrapFailNth(1);
    EXPECT_TRUE(getElist(k, 5) == -1 && getElist(k, 0x80000000u) == -1);  // past signed slot indexes, in any mode
    EXPECT_EQ(takeReports(), Reports(2, {"getElist", VRD_E_NOMEM}));
    EXPECT_EQ(usedAndCapacity(), (std::array<int32_t, 2>{1018, 1020}));
    EXPECT_TRUE(getElist(k, 4) == 0 && getElist(k, 5) == 1018);  // from its intact free list and by growing
}

TEST_F(Forms, InsertAndDeleteAtEveryPositionInlineAndInRuns) {
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

TEST_F(Forms, EntitiesFromTheSlabItselfSurviveItsGrowth) {
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

TEST_F(Forms, ReadingSettingAndRefusals) {
    List l = ints("4546"), s = ints("162"), tens = ints("78"), buffer(3, kNull);
    VRDentity f = itemWith(l), single = itemWith(ints("1")), one = integer(1), e{}, bad = at(99);
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

TEST_F(Forms, KillFollowsHoldsFormsUnlinksOnceAndFreesInRecursiveOrder) {
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

TEST_F(Forms, KillEndsOnCyclesKillingEachFormOnce) {
    VRDentity a = item(), b = item(), c = item();
    add(a, {b, b, c});
    add(b, {a, b});
    add(c, {a});
    ASSERT_TRUE(all({VRDformKill(a, 1, 0) == 0, VRDformKill(b, 1, 1) == 0}));  // b is dead: no-op
    EXPECT_EQ((List{item(), item(), item(), item()}), (List{a, c, b, at(3)}));
}  // a million-level chain is killed in the copy suite, after its copy and search

// Entities added to a killed form overwrite its link on the chain of
// reusable records; emptied again, it ends the chain there instead of
// linking to what the list held, so the store still dumps and reads back.
TEST_F(Forms, AKilledFormEmptiedAgainEndsItsChain) {
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

TEST_F(Forms, ListLengthLimitHoldsInEveryMode) {
    constexpr uint32_t kMax = 16777215;
    VRDentity one = integer(1), f = item(), g = itemWith(ints("12"));
    ASSERT_EQ(VRDformAddEntities(f, kEnd, kMax, List(kMax, one).data()), 0);
    EXPECT_EQ(VRDformAddEntities(f, kEnd, 1, &one), 1);
    VRDsetCheck(0);  // and a count that wraps 32 bits
    EXPECT_TRUE(VRDformAddEntities(f, 0, 1, &one) == 1 && VRDformAddEntities(g, kEnd, 0xFFFFFFFFu, &one) == 1);
    EXPECT_EQ(takeReports(), Reports(3, Report{"VRDformAddEntities", VRD_E_TOOMANYENTITIES}));
    EXPECT_EQ(VRDformEntityCount(f), kMax);
}

TEST_F(Forms, FailedAllocationsLeaveListsUsable) {
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

constexpr uint32_t kEnd = 0xFFFFFFFFu;

// A live form as a host can see it: where it is, its links, flags and list.
struct LiveForm {
    VRDentity form, ownedBy, properties;
    bool holdsForms;
    std::vector<VRDentity> list;
    bool operator==(const LiveForm &) const = default;
};

// Every live form of the store and every key's reuse switch.
struct StoreState {
    std::vector<LiveForm> live;
    std::vector<bool> reuse;
};

StoreState stateOf(VRDstore *s) {
    StoreState state;
    for (uint32_t key = 0; key < vrd::keyCount(s); ++key) {
        state.reuse.push_back(vrd::reusesFreedForms(s, key));
        for (uint32_t i = 0; i < vrd::formCountOf(s, key); ++i) {
            KeyRecord *k;
            FormRecord *f;
            VRDentity form = vrd::formEntity(key, i);
            if (!vrd::resolveForm(s, form, nullptr, &k, &f) || vrd::isKilled(*f)) continue;
            LiveForm live{form, VRDformGetOwner(form), vrd::propertyListOf(s, form), vrd::holdsForms(*f), {}};
            live.list.resize(vrd::entityCount(*f));
            if (!live.list.empty()) VRDformGetEntities(0, uint32_t(live.list.size()), form, live.list.data());
            state.live.push_back(std::move(live));
        }
    }
    return state;
}

class Cleanup : public vrdtest::TreeTest {
protected:
    // A tree with property lists at two levels, a sub-form listed twice, a
    // form holding its own ancestor and one holding itself; a killed record
    // waits on A's chain so that copies reuse it.
    VRDentity buildTree() {
        VRDentity r = form("R"), a = child(r, "A"), b = child(a, "B"), s = child(r, "S"), c = child(r, "C"),
                  d = child(r, "D"), spare = form("A");
        add(r, {integer(5), s});
        add(b, {integer(7), integer(1 << 30)});
        add(c, {r});
        add(d, {d});
        vrdtest::expectOk({VRDformSetProperty(r, 3, 4), VRDformSetProperty(a, 1, 2), VRDformSetProperty(b, 5, 6),
                           VRDformKill(spare, 0, 0)});
        return r;
    }

    // For n = 1, 2, ... until it succeeds: builds a fresh store with
    // `setup`, then runs `operation` with the n-th allocation from then on
    // failing.  After each failure exactly one report of -2 was made, and the
    // live forms and reuse switches are those `setup` left, then `check`
    // looks further.  Returns the number of failures.
    template <typename Setup, typename Operation, typename Check>
    int sweep(Setup setup, Operation operation, Check check) {
        for (long n = 1; n < 1000; ++n) {
            while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
            store = VRDnew("test");
            setup();
            const StoreState before = stateOf(store);
            takeReports();
            heapwrapFailNth(n);
            int result = operation();
            heapwrapFailNth(0);
            std::vector<Report> seen = takeReports();
            if (result == 0) {
                EXPECT_TRUE(seen.empty()) << n;
                return static_cast<int>(n - 1);
            }
            EXPECT_TRUE(seen.size() == 1 && seen[0].code == VRD_E_NOMEM) << "allocation " << n;
            expectUnchanged(before, n);
            check(n);
        }
        ADD_FAILURE() << "never succeeded";
        return 0;
    }
    // The store as it was: the same live forms and reuse switches (a key
    // made on the way keeps its switch off); released records are killed.
    void expectUnchanged(const StoreState &before, long n) {
        StoreState after = stateOf(store);
        EXPECT_TRUE(after.live == before.live) << "allocation " << n;
        for (size_t k = 0; k < before.reuse.size(); ++k) EXPECT_EQ(after.reuse[k], before.reuse[k]) << n;
        for (size_t k = before.reuse.size(); k < after.reuse.size(); ++k) EXPECT_FALSE(after.reuse[k]) << n;
    }
};

// Every allocation of a deep copy fails in turn: nothing the copy made
// survives and nothing names the source, the copy's entity names a killed
// record, and killing it, as a caller cleaning up would, leaves the source
// whole.
TEST_F(Cleanup, FailedCopyLeavesNothingBehind) {
    VRDentity r{}, owner{}, copy{};
    StoreState tree;
    int failures = sweep([&] { r = buildTree(), owner = form("O"), copy = VRDentity{}, tree = stateOf(store); },
                         [&] { return VRDformCopy(r, owner, VRD_NO_KEY, "Copy", &copy); },
                         [&](long n) {
                             if (copy.first == 0) return;
                             EXPECT_EQ(VRDformIsKilled(copy), 1) << n;
                             EXPECT_EQ(VRDformKill(copy, 1, 1), 0);
                             expectUnchanged(tree, n);
                         });
    EXPECT_GE(failures, 8);
    // The copy made in the end is whole: the source's tree again.
    EXPECT_EQ(VRDformEntityCount(copy), VRDformEntityCount(r));
    EXPECT_EQ(VRDformGetProperty(copy, 3), 4);
    EXPECT_EQ(VRDformGetProperty(VRDformGetEntity(copy, 0), 1), 2);
}

// A range copy releases the copies it made when a later copy, or the
// insertion itself, fails; the destination's list is as it was.
TEST_F(Cleanup, FailedRangeCopyReleasesItsCopies) {
    VRDentity r{}, dst{};
    int failures = sweep([&] { r = buildTree(), dst = form("DST"), add(dst, {integer(1), integer(2)}); },
                         [&] { return VRDformCopyEntities(r, 0, VRDformEntityCount(r), dst, 1); }, [](long) {});
    EXPECT_GE(failures, 8);
    EXPECT_EQ(VRDformEntityCount(dst), 2 + VRDformEntityCount(r));
}

// A move to another key that runs out of memory leaves the form, its owner's
// list and every reference as they were, and the new record released.
TEST_F(Cleanup, FailedMoveLeavesTheFormWhereItWas) {
    VRDentity a{}, other{}, moved{};
    int failures = sweep(
        [&] {
            a = VRDformGetEntity(buildTree(), 0), other = form("X"), moved = VRDentity{};
            add(other, {a, integer(3)});
            add(a, {integer(9), integer(10), integer(11)});
        },
        [&] { return VRDformSetKey(a, VRD_NO_KEY, "Moved", 1, &moved); },
        [&](long n) { EXPECT_TRUE(moved.first == 0 || VRDformIsKilled(moved) == 1) << n; });
    EXPECT_GE(failures, 2);
    EXPECT_EQ(list(other), (std::vector<VRDentity>{moved, integer(3)}));
    EXPECT_EQ(VRDformIsKilled(a), 1);
}

// A kill that runs out of memory kills nothing and unlinks nothing; the
// chain is deep enough to grow the walk's stacks several times.
TEST_F(Cleanup, FailedKillKillsNothing) {
    VRDentity r{}, f{}, top{};
    int failures = sweep(
        [&] {
            f = r = buildTree(), top = form("TOP");
            for (int i = 0; i < 300; ++i) f = child(f, i % 2 ? "A" : "B");
            add(top, {r});
            vrdtest::expectOk({VRDformSetProperty(f, 1, 1), VRDformSetOwner(r, top)});
        },
        [&] { return VRDformKill(r, 1, 1); }, [](long) {});
    EXPECT_GE(failures, 4);
    EXPECT_TRUE(VRDformIsKilled(r) == 1 && VRDformIsKilled(f) == 1 && VRDformEntityCount(top) == 0);
}

// The first property of a form makes its list; when the pair cannot be
// added the list goes again and the form has no properties, as before.
TEST_F(Cleanup, FailedFirstPropertyLeavesNoList) {
    VRDentity f{};
    int failures = sweep([&] { f = form("F"), add(f, {integer(1)}); },
                         [&] { return VRDformSetProperty(f, 1000000000, 2); },
                         [&](long n) { EXPECT_EQ(vrd::propertyListOf(store, f), VRDnullEntity()) << n; });
    EXPECT_GE(failures, 3);
    EXPECT_EQ(VRDformGetProperty(f, 1000000000), 2);
}

// A listed form that does not resolve ends a recursive kill where the
// recursion would: after the unlink, with the forms before it killed.
TEST_F(Cleanup, KillStopsAtAFormThatDoesNotResolve) {
    VRDentity top = form("TOP"), r = child(top, "R"), a = child(r, "A"), b = child(r, "B");
    VRDentity bogus = vrdtest::entity(0x80000000u | 77, 0);
    add(r, {bogus});
    VRDentity c = child(r, "C");
    EXPECT_EQ(VRDformKill(r, 1, 1), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformKill", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformEntityCount(top), 0u);
    EXPECT_EQ(std::vector<int>({VRDformIsKilled(a), VRDformIsKilled(b), VRDformIsKilled(c), VRDformIsKilled(r)}),
              std::vector<int>({1, 1, 0, 0}));
}

VRDentity keyed(uint32_t key, uint32_t index) { return VRDentity{0x80000000u | key, index}; }

class Copy : public vrdtest::TreeTest {  // no report may go unchecked
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
};

TEST_F(Copy, CopiesTheTreeDepthFirstPropertyListFirstFollowingOnlyListsThatHoldForms) {
    VRDentity owner = form("O"), s = form("T"), c{};
    VRDentity n1 = child(s, "N");  // N 0
    add(s, {integer(5)});
    child(s, "N");                 // n2: N 1
    child(n1, "N");                // N 2
    ASSERT_EQ(VRDformSetProperty(n1, 2, 20), 0);  // PLIST 0
    ASSERT_EQ(VRDformSetProperty(s, 1, 10), 0);   // PLIST 1
    uint32_t n = key("N"), plist = key("PLIST");
    ASSERT_EQ(VRDformCopy(s, owner, VRD_NO_KEY, "U", &c), 0);
    EXPECT_TRUE(std::strcmp(VRDformGetPtrKeyword(c), "U") == 0 && VRDformEntityCount(owner) == 0);  // owned, not listed
    // s's property list (PLIST 2) first, then n1 (N 3), its list, n1's child (N 4), last n2 (N 5).
    EXPECT_EQ(list(c), (List{keyed(n, 3), integer(5), keyed(n, 5)}));
    EXPECT_EQ(list(keyed(n, 3)), List{keyed(n, 4)});
    for (auto [f, o] : {std::pair{c, owner}, {keyed(n, 3), c}, {keyed(n, 4), keyed(n, 3)}, {keyed(n, 5), c},
                        {keyed(plist, 2), c}, {keyed(plist, 3), keyed(n, 3)}})
        EXPECT_EQ(VRDformGetOwner(f), o) << f;
    // A form put in with SetEntity leaves holdsForms clear: shared, not copied.
    VRDentity plain = form("A");
    add(plain, {integer(1)});
    ASSERT_TRUE(VRDformSetEntity(plain, 0, s) == 0 && VRDformCopy(plain, kNull, key("A"), nullptr, &c) == 0);
    EXPECT_EQ(list(c), List{s});
    // A form met again on its own path stays shared; one listed twice is copied twice.
    VRDentity outer = form("A"), inner = child(outer, "C");
    add(inner, {outer});
    add(outer, {inner});
    ASSERT_EQ(VRDformCopy(outer, kNull, key("A"), nullptr, &c), 0);
    EXPECT_TRUE(list(c) == (List{keyed(key("C"), 1), keyed(key("C"), 2)}) && list(keyed(key("C"), 2)) == List{outer});
    // An emptied property list is left behind, so the next PLIST form is index 5.
    ASSERT_TRUE(VRDformSetProperty(outer, 1, 1) == 0 && VRDformDeleteProperty(1, outer) == 0);
    EXPECT_TRUE(VRDformCopy(outer, kNull, key("A"), nullptr, &c) == 0 && form("PLIST") == keyed(plist, 5));
}

TEST_F(Copy, CopyEntitiesCopiesARangeDeeply) {
    VRDentity src = form("S"), dst = form("D"), loose = form("L"), a = child(src, "A");  // A 0
    add(src, {integer(7), kNull});
    add(dst, {integer(1), integer(2)});
    ASSERT_EQ(VRDformCopyEntities(src, kEnd, 1, dst, 1), 0);  // -1: the last entity
    ASSERT_EQ(VRDformCopyEntities(src, 0, 2, dst, kEnd), 0);
    EXPECT_EQ(list(dst), (List{integer(1), kNull, integer(2), VRDentity{a.first, 1}, integer(7)}));
    EXPECT_EQ(VRDformGetOwner(VRDentity{a.first, 1}), dst);  // the copy belongs where it went
    // Forms are copied whatever holdsForms says; source and destination may coincide.
    add(loose, {integer(3)});
    ASSERT_TRUE(VRDformSetEntity(loose, 0, a) == 0 && VRDformCopyEntities(loose, 0, 1, loose, 0) == 0);
    EXPECT_EQ(list(loose), (List{VRDentity{a.first, 2}, a}));
    EXPECT_EQ(VRDformCopyEntities(keyed(999, 0), 0, 0, dst, 0), 0);  // nothing to copy: no form looked at
    EXPECT_TRUE(VRDformCopyEntities(src, 2, 2, dst, 0) == 1 && VRDformCopyEntities(loose, kEnd, 2, dst, 0) == 1);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformCopyEntities(src, 1, 1, dst, 0), 1);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformCopyEntities", -14}, {"VRDformCopyEntities", -14},
                                      {"VRDformCopyEntities", -2}}));
    EXPECT_EQ(list(dst).size(), 5u);
}

TEST_F(Copy, SetKeyMovesTheFormAndItsReferencesAndKeywordsAreRead) {
    VRDentity owner = form("O"), other = form("X"), a = child(owner, "A"), held = child(a, "H"), b{}, c{};
    add(a, {integer(4)});
    ASSERT_EQ(VRDformSetProperty(a, 1, 11), 0);
    add(other, {a});
    ASSERT_EQ(VRDformSetKey(a, VRD_NO_KEY, "Beta", 0, &b), 0);
    EXPECT_EQ(list(b), (List{held, integer(4)}));
    EXPECT_EQ(std::pair(VRDformGetOwner(b), list(owner)), std::pair(owner, List{b}));
    EXPECT_TRUE(list(other) == List{a} && VRDformGetOwner(held) == b);  // no references flag
    EXPECT_EQ(VRDformGetOwner(VRDformFindFirst(key("PLIST"), 0, nullptr, nullptr)), b);
    // With references every list follows; the same key still takes a new index.
    add(other, {b});
    ASSERT_EQ(VRDformSetKey(b, key("Beta"), nullptr, 1, &c), 0);
    EXPECT_TRUE(c == VRDentity({b.first, 1}) && list(other) == (List{a, c}) && VRDformGetOwner(held) == c);
    uint32_t keys[2] = {key("O"), key("Beta")};
    for (uint32_t n : {0u, 1u, 2u}) EXPECT_EQ(VRDformCmpKeys(c, n, keys), n == 2 ? 1 : 0) << n;
    char buffer[4];
    VRDformGetKeyword(c, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Bet");
    EXPECT_TRUE(!VRDformGetPtrKeyword(VRDentity{VRD_NO_KEY, 0}) && !VRDformGetPtrKeyword(keyed(40, 0)));
    EXPECT_EQ(takeReports(), (Reports{{"VRDkeyGetPtrValue", VRD_E_BADKEY}}));  // the missing key only
}

// Moving a killed form leaves its record on its key's chain once, also when
// entities added to it have overwritten its link: creations hand each record
// out once, and the store dumps and reads back.
TEST_F(Copy, MovingAKilledFormLeavesItsChainSound) {
    VRDentity a = form("K"), b = form("K"), c = form("L"), moved{}, first{}, second{};
    ASSERT_TRUE(VRDformKill(a, 0, 0) == 0 && VRDformSetKey(a, VRD_NO_KEY, "M", 0, &moved) == 0);
    EXPECT_EQ(VRDformIsKilled(moved), 1);
    ASSERT_EQ(VRDformKill(c, 0, 0), 0);
    add(c, {integer(1), integer(2), integer(3)});
    ASSERT_EQ(VRDformSetKey(c, VRD_NO_KEY, "M", 0, &moved), 0);
    EXPECT_TRUE(VRDformIsKilled(c) == 1 && VRDformEntityCount(c) == 0 && VRDformEntityCount(moved) == 3);
    std::string path = vrdtest::scratchPath("moved.bin");
    EXPECT_TRUE(VRDfileWriteBinary(path.c_str()) == 0 && VRDfileReadBinary(path.c_str()) == 0);
    std::remove(path.c_str());
    ASSERT_TRUE(VRDformCreate(kNull, key("K"), nullptr, &first) == 0 && VRDformCreate(kNull, key("K"), nullptr, &second) == 0);
    EXPECT_EQ(first, a);
    EXPECT_TRUE(second != a && second != b);
}

// Copy, search and kill a million nested forms (of a hundred keys, so no form array grows large).
TEST_F(Copy, MillionLevelChain) {
    constexpr uint32_t kDepth = 1000000, kKeys = 100;
    uint32_t keys[kKeys], leafKey = key("A");
    for (uint32_t i = 0; i < kKeys; ++i) keys[i] = key(("N" + std::to_string(i)).c_str());
    VRDentity root = form("N0"), f = root, leaf{}, c{}, below{};
    for (uint32_t i = 1; i < kDepth; ++i) ASSERT_EQ(VRDformAddForm(f, kEnd, keys[i % kKeys], nullptr, &f), 0);
    ASSERT_EQ(VRDformAddForm(f, kEnd, leafKey, nullptr, &leaf), 0);
    ASSERT_EQ(VRDformCopy(root, kNull, keys[0], nullptr, &c), 0);
    // Each level's copy is made before the level below it and owned by its holder.
    EXPECT_EQ(c, keyed(keys[0], kDepth / kKeys));
    for (uint32_t i = (f = c, 1); i < kDepth; f = below, ++i) {
        ASSERT_EQ(below = VRDformGetEntity(f, 0), keyed(keys[i % kKeys], kDepth / kKeys + i / kKeys));
        ASSERT_EQ(VRDformGetOwner(below), f);
    }
    VRDentity leafCopy = VRDformGetEntity(f, 0), current = kNull;
    uint32_t position = 9;
    EXPECT_EQ(VRDformFindUnder(c, leafKey, 0, nullptr, &current, &position), leafCopy);
    EXPECT_EQ(std::pair(current, position), std::pair(f, 0u));
    EXPECT_EQ(VRDformFindUnder(c, leafKey, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(std::pair(current, position), std::pair(c, 1u));
    ASSERT_EQ(VRDformKill(root, 1, 0), 0);  // the kill walk needs no machine stack either; the root dies last
    EXPECT_EQ(std::pair(VRDformIsKilled(leaf), VRDformIsKilled(leafCopy)), std::pair(1, 0));
    EXPECT_EQ(form("N0"), root);
}

using Step = std::pair<VRDentity, uint32_t>;  // a find and where it left the cursor

int offered = 0, acceptAt = -1;  // candidates offered so far; the one to accept
int32_t VRD_CALL acceptNth(VRDentity) { return offered++ == acceptAt ? 1 : 0; }

TEST_F(Copy, FindFirstAndFindNextTakeLiveFormsInIndexOrderByPattern) {
    uint32_t a = key("A");
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), kNull);  // a key without forms
    VRDentity s{}, id{}, two = integer(2), five = integer(5);
    ASSERT_TRUE(VRDstringCreate("x", &s) == 0 && VRDidCreate("x", &id) == 0);
    VRDentity dead = form("A"), pair = form("A"), one = form("A"), null1 = form("A"), triple = form("A");
    VRDentity empty = form("A");
    add(pair, {s, five}), add(one, {five}), add(null1, {five}), add(triple, {two, five, integer(9)});
    ASSERT_TRUE(VRDformSetEntity(null1, 0, kNull) == 0 && VRDformKill(dead, 0, 0) == 0);  // null1: [null]
    auto all = [&](List p) {
        List found;
        int32_t cursor = 0;
        for (VRDentity f; (f = VRDformFindNext(a, uint32_t(p.size()), p.data(), &cursor)) != kNull;)
            found.push_back(f);
        return found;
    };
    EXPECT_EQ(all({}), (List{pair, one, null1, triple, empty}));  // the killed form is passed over
    EXPECT_EQ(all({kNull, five}), (List{pair, triple}));
    EXPECT_EQ(all({kNull}), (List{pair, null1, triple}));  // a lone null takes a lone entity only if null
    EXPECT_EQ(std::pair(all({s}), all({id})), std::pair(List{pair}, List{}));  // a string is no identifier
    EXPECT_EQ(all({two, five, integer(9), kNull}), List{});  // longer than any list
    VRDentity second5[2] = {kNull, five};
    offered = 0, acceptAt = 1;
    EXPECT_TRUE(VRDformFindFirst(a, 2, second5, acceptNth) == triple && offered == 2);  // pair refused first
    // FindNext rests one past each find, then at formCount + 1, and counts on from there.
    int32_t cursor = -3;  // before the first form: start there
    for (auto [found, after] : {std::pair{triple, 5}, {kNull, 7}, {kNull, 8}})
        EXPECT_TRUE(VRDformFindNext(a, 1, &two, &cursor) == found && cursor == after) << after;
    EXPECT_TRUE(takeReports().empty());
}

// root lists (b1, 7, a1); b1 lists (a2, c); c (a B form) lists a3; a1 lists (an A form, 3).
TEST_F(Copy, FindInScansOneListAndFindUnderGoesDepthFirstWithoutEnteringFinds) {
    uint32_t a = key("A"), cursor = 0, position = 77;
    VRDentity root = form("R"), current = kNull, three = integer(3), b1 = child(root, "B");
    add(root, {integer(7)});
    VRDentity a1 = child(root, "A"), a2 = child(b1, "A"), c = child(b1, "B"), a3 = child(c, "A");
    child(a1, "A");  // inside a form of the searched key: never found below the root
    add(a1, {three});
    auto in = [&](VRDentity f, List p, uint32_t from) {
        VRDentity found = VRDformFindIn(f, a, uint32_t(p.size()), p.data(), &(cursor = from));
        return Step(found, cursor);
    };
    EXPECT_TRUE(in(root, {}, 1) == Step(a1, 3) && in(root, {three}, 0) == Step(kNull, 3));
    auto under = [&] {
        VRDentity found = VRDformFindUnder(root, a, 0, nullptr, &current, &position);
        return std::pair(found, Step(current, position));
    };
    // Each find leaves (holder, position); the end leaves (root, its count).
    EXPECT_EQ(under(), std::pair(a2, Step(b1, 0)));
    EXPECT_EQ(under(), std::pair(a3, Step(c, 0)));
    EXPECT_EQ(under(), std::pair(a1, Step(root, 2)));
    EXPECT_EQ(under(), std::pair(kNull, Step(root, 3)));
    current = b1, position = 0;  // short of memory for its walk: nothing found or reported, cursor kept
    heapwrapFailNth(1);
    EXPECT_EQ(under(), std::pair(kNull, Step(b1, 0)));
    EXPECT_EQ(under().first, a3);  // and the walk resumes from it
    // Inconsistent trees still end each search: b1 lists itself and the root; a cursor's owners loop.
    add(b1, {b1, root});
    current = kNull;
    EXPECT_EQ(VRDformFindUnder(root, key("Q"), 0, nullptr, &current, &position), kNull);
    VRDentity x = form("X"), y = form("Y", x);
    ASSERT_EQ(VRDformSetOwner(x, y), 0);
    current = x, position = 0;
    EXPECT_EQ(VRDformFindUnder(form("Z"), a, 0, nullptr, &current, &position), kNull);
    // FindOver starts at the owner, passes what the pattern refuses, and goes round a loop of owners once.
    EXPECT_EQ(VRDformFindOver(a3, key("B"), 0, nullptr), c);
    EXPECT_EQ(VRDformFindOver(a3, key("B"), 1, &a2), b1);
    EXPECT_EQ(VRDformFindOver(a2, a, 0, nullptr), kNull);  // never the form itself
    EXPECT_EQ(VRDformFindOver(x, key("Q"), 0, nullptr), kNull);
    for (int check : {1, 0}) {  // an unresolvable form: -9 in check mode, passed over quietly without
        VRDsetCheck(check);
        EXPECT_EQ(in(VRDentity{root.first, 99}, {}, 2), Step(kNull, 2));  // the cursor stays
    }
    EXPECT_EQ(takeReports(), (std::vector<vrdtest::Report>{{"VRDformFindIn", VRD_E_BADFORM}}));
}

TEST_F(Copy, FindEntityResumesAtTheExactSlot) {
    VRDentity t = integer(42), f0 = form("A"), f1 = form("A"), f2 = form("B"), dead = form("B");
    add(f0, {t}), add(f1, {integer(1), t, t}), add(f2, {t, integer(2), t}), add(dead, {t, t});
    ASSERT_EQ(VRDformKill(dead, 0, 0), 0);
    uint32_t keyAt = VRD_NO_KEY, at = 99; int32_t formAt = 99;
    std::vector<Step> hits;  // bounded, should a search stall on its last hit
    for (VRDentity f; hits.size() < 8 && (f = VRDformFindEntity(&keyAt, &formAt, &at, t)) != kNull;) {
        hits.push_back({f, at});
        EXPECT_EQ(Step(VRDentity{0x80000000u | keyAt, static_cast<uint32_t>(formAt)}, at), hits.back());
    }
    EXPECT_EQ(hits, (std::vector<Step>{{f0, 0}, {f1, 1}, {f1, 2}, {f2, 0}, {f2, 2}}));
    EXPECT_EQ(std::tuple(keyAt, formAt, at), std::tuple(2u, 0, 0u));  // past the last key
}

}  // namespace
