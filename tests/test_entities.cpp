// test_entities.cpp - a form's entity list: insertion, deletion, reading, clearing and killing.
#include <cstdlib>
#include <memory>

#include "forms/forms.h"
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;
using List = std::vector<VRDentity>;

const VRDentity kNull{0, 0};
constexpr uint32_t kLast = 0xFFFFFFFFu;

VRDentity I(int32_t v) {
    VRDentity e{};
    EXPECT_EQ(VRDintCreate(v, &e), 0);
    return e;
}

List ints(std::initializer_list<int32_t> values) {
    List l;
    for (int32_t v : values) l.push_back(I(v));
    return l;
}

class Entities : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_EQ(VRDkeyCreate("ITEM", &key), 0);
    }
    VRDentity form(VRDentity owner = kNull, uint32_t k = VRD_NO_KEY) {
        VRDentity f{};
        EXPECT_EQ(VRDformCreate(owner, k == VRD_NO_KEY ? key : k, nullptr, &f), 0);
        return f;
    }
    VRDentity formWith(const List &l) {
        VRDentity f = form();
        EXPECT_EQ(VRDformAddEntities(f, kLast, static_cast<uint32_t>(l.size()), l.data()), 0);
        return f;
    }
    // The whole list, read through the interface.
    List list(VRDentity f) {
        List l(VRDformEntityCount(f));
        EXPECT_EQ(VRDformGetEntities(0, static_cast<uint32_t>(l.size()), f, l.data()), l.size());
        return l;
    }
    // Read-only views of the records, for what the interface does not show.
    const FormRecord &record(VRDentity f) { return store->keyRecords[f.first & 0x7FFFFFFFu].formRecords[f.second]; }
    const KeyRecord &keyRecord() { return store->keyRecords[key]; }
    bool holds(VRDentity f) { return vrd::holdsForms(record(f)); }
    // Slots handed out and not on the free list: every live run counted once.
    int liveSlots() {
        int used = keyRecord().slabUsed;
        for (int b = keyRecord().slabFree; b != -1; b = static_cast<int>(keyRecord().slabSlots[b].first))
            used -= static_cast<int>(keyRecord().slabSlots[b].second);
        return used;
    }
    uint32_t key = 0;
};

TEST_F(Entities, OneEntityStaysInTheRecord) {
    VRDentity f = form();
    VRDentity seven = I(7);
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &seven), 0);
    EXPECT_EQ(keyRecord().slabSlots, nullptr);
    uint32_t count = 99;
    EXPECT_EQ(VRDformGetPtrEntities(f, &count), reinterpret_cast<const VRDentity *>(record(f).data));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(VRDformGetEntity(f, 0), seven);

    // A second entity moves both into a run of exactly two slots.
    VRDentity eight = I(8);
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &eight), 0);
    EXPECT_EQ(keyRecord().slabUsed, 2);
    const VRDentity *p = VRDformGetPtrEntities(f, &count);
    EXPECT_EQ(p, keyRecord().slabSlots + record(f).data[0]);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(List(p, p + 2), (List{seven, eight}));

    // Back to one: the survivor returns to the record and the run is given back.
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 1), 0);
    EXPECT_EQ(list(f), List{eight});
    EXPECT_EQ(VRDformGetPtrEntities(f, &count), reinterpret_cast<const VRDentity *>(record(f).data));
    EXPECT_EQ(keyRecord().slabUsed, 0);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, InsertAtEveryPosition) {
    VRDentity f = formWith(ints({1, 2, 3}));
    List zero = ints({0}), pair = ints({9, 8});
    ASSERT_EQ(VRDformAddEntities(f, 0, 1, zero.data()), 0);
    EXPECT_EQ(list(f), ints({0, 1, 2, 3}));
    ASSERT_EQ(VRDformAddEntities(f, 2, 2, pair.data()), 0);
    EXPECT_EQ(list(f), ints({0, 1, 9, 8, 2, 3}));
    ASSERT_EQ(VRDformAddEntities(f, 6, 1, zero.data()), 0);  // position equal to the count appends
    ASSERT_EQ(VRDformAddEntities(f, kLast, 2, pair.data()), 0);
    EXPECT_EQ(list(f), ints({0, 1, 9, 8, 2, 3, 0, 9, 8}));
    // Every old run went back: only the current list holds slots.
    EXPECT_EQ(liveSlots(), 9);

    // Past the end: refused, reported in check mode, silent without.
    EXPECT_EQ(VRDformAddEntities(f, 10, 1, zero.data()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_BADPOSITION}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformAddEntities(f, 10, 1, zero.data()), 1);
    VRDsetCheck(1);
    EXPECT_EQ(list(f), ints({0, 1, 9, 8, 2, 3, 0, 9, 8}));

    // An empty form takes one entity wherever the position points.
    VRDentity g = form();
    ASSERT_EQ(VRDformAddEntities(g, 99, 1, zero.data()), 0);
    EXPECT_EQ(list(g), ints({0}));
    // Nothing to add: success without even resolving the form.
    EXPECT_EQ(VRDformAddEntities(vrdtest::entity(0x80000000u | 55, 3), 0, 0, nullptr), 0);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, EntitiesFromTheSlabItselfSurviveItsGrowth) {
    VRDentity f = formWith(ints({1, 2, 3}));
    // Doubling a list from its own storage.
    uint32_t n = 0;
    const VRDentity *own = VRDformGetPtrEntities(f, &n);
    ASSERT_EQ(VRDformAddEntities(f, 1, n, own), 0);
    EXPECT_EQ(list(f), ints({1, 1, 2, 3, 2, 3}));

    // Fill the slab to its capacity, then copy a run into a new list that
    // makes the slab move; the entities must be read from the moved copy.
    List filler(1005, I(5));
    VRDentity big = formWith(filler);
    ASSERT_EQ(keyRecord().slabUsed, 1014);
    VRDentity g = formWith(ints({4, 4}));
    ASSERT_EQ(keyRecord().slabCapacity, 1020);
    own = VRDformGetPtrEntities(f, &n);
    ASSERT_EQ(VRDformAddEntities(g, kLast, n, own), 0);
    EXPECT_GT(keyRecord().slabCapacity, 1020);
    EXPECT_EQ(list(g), ints({4, 4, 1, 1, 2, 3, 2, 3}));
    EXPECT_EQ(list(big), filler);
    // A single inline entity handed back to its own form.
    VRDentity h = formWith(ints({6}));
    own = VRDformGetPtrEntities(h, &n);
    ASSERT_EQ(VRDformAddEntities(h, 0, 1, own), 0);
    EXPECT_EQ(list(h), ints({6, 6}));
}

TEST_F(Entities, DeleteAtEveryPosition) {
    VRDentity f = formWith(ints({0, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(VRDformDeleteEntities(f, kLast, 1), 0);
    EXPECT_EQ(list(f), ints({0, 1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 2), 0);
    EXPECT_EQ(list(f), ints({2, 3, 4, 5, 6}));
    ASSERT_EQ(VRDformDeleteEntities(f, 1, 3), 0);
    EXPECT_EQ(list(f), ints({2, 6}));
    ASSERT_EQ(VRDformDeleteEntities(f, 1, 0), 0);
    EXPECT_EQ(list(f), ints({2, 6}));
    EXPECT_EQ(liveSlots(), 2);

    // A range past the end: refused and reported, or refused silently.
    EXPECT_EQ(VRDformDeleteEntities(f, 1, 2), 1);
    EXPECT_EQ(VRDformDeleteEntities(f, 3, 0), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformDeleteEntities", VRD_E_BADPOSITION},
                                                  {"VRDformDeleteEntities", VRD_E_BADPOSITION}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformDeleteEntities(f, 1, 2), 1);
    EXPECT_TRUE(takeReports().empty());
    VRDsetCheck(1);
    EXPECT_EQ(list(f), ints({2, 6}));

    // A whole run at once, then the only entity.
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 2), 0);
    EXPECT_EQ(VRDformEntityCount(f), 0u);
    EXPECT_EQ(liveSlots(), 0);
    VRDentity g = formWith(ints({9}));
    ASSERT_EQ(VRDformDeleteEntities(g, kLast, 1), 0);
    EXPECT_EQ(VRDformEntityCount(g), 0u);
    EXPECT_EQ(VRDformGetEntity(g, kLast), kNull);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, HoldsFormsFollowsAddsAndEmptying) {
    VRDentity sub = form(), f = form();
    VRDentity one = I(1);
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &sub), 0);
    EXPECT_TRUE(holds(f));
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 1), 0);  // emptied from one entity: cleared
    EXPECT_FALSE(holds(f));
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &one), 0);
    EXPECT_FALSE(holds(f));
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &sub), 0);
    EXPECT_TRUE(holds(f));
    // Deleting the form entity from a longer list leaves the hint set.
    ASSERT_EQ(VRDformDeleteEntities(f, 1, 1), 0);
    EXPECT_EQ(list(f), List{one});
    EXPECT_TRUE(holds(f));
    ASSERT_EQ(VRDformClear(f), 0);
    EXPECT_FALSE(holds(f));

    // A form put in place by VRDformSetEntity is not noticed, so a recursive
    // kill does not reach it.
    VRDentity g = formWith(ints({1, 2}));
    ASSERT_EQ(VRDformSetEntity(g, 1, sub), 0);
    EXPECT_FALSE(holds(g));
    ASSERT_EQ(VRDformKill(g, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(g), 1);
    EXPECT_EQ(VRDformIsKilled(sub), 0);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, ReadingAndSearching) {
    List l = ints({4, 5, 4, 6});
    VRDentity f = formWith(l);
    EXPECT_EQ(VRDformGetEntity(f, 0), l[0]);
    EXPECT_EQ(VRDformGetEntity(f, kLast), l[3]);
    EXPECT_EQ(VRDformGetEntity(f, 4), kNull);
    EXPECT_EQ(VRDentityGetPosition(f, l[2]), 0);  // the first of equal entities
    EXPECT_EQ(VRDentityGetPosition(f, l[3]), 3);
    EXPECT_EQ(VRDentityGetPosition(f, I(7)), -1);
    EXPECT_EQ(VRDentityGetPosition(form(), l[0]), -1);

    List buffer(4, kNull);
    EXPECT_EQ(VRDformGetEntities(1, 2, f, buffer.data()), 2u);
    EXPECT_EQ(buffer, (List{l[1], l[2], kNull, kNull}));
    EXPECT_EQ(VRDformGetEntities(2, 100, f, buffer.data()), 2u);
    EXPECT_EQ(buffer[1], l[3]);
    EXPECT_EQ(VRDformGetEntities(4, 1, f, buffer.data()), 0u);
    EXPECT_EQ(VRDformGetEntities(0, 0, f, buffer.data()), 0u);
    VRDentity single = formWith(ints({8}));

    List set = ints({1, 6, 2});
    EXPECT_EQ(VRDformCmpEntity(3, 3, f, set.data()), 1);
    EXPECT_EQ(VRDformCmpEntity(0, 3, f, set.data()), 0);
    EXPECT_EQ(VRDformCmpEntity(0, 1, single, ints({8}).data()), 1);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(VRDformCmpEntity(kLast, 3, f, set.data()), 0);  // -1 is no position here
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCmpEntity", VRD_E_BADPOSITION}}));

    // An entity without bit 31 gives no pointer, and no report; the count is left alone.
    uint32_t count = 77;
    EXPECT_EQ(VRDformGetPtrEntities(l[0], &count), nullptr);
    EXPECT_EQ(count, 77u);
    EXPECT_TRUE(takeReports().empty());

    // An unresolvable form: every reader reports under "formptr".
    VRDentity ghost = vrdtest::entity(0x80000000u | key, 99);
    EXPECT_EQ(VRDformGetEntity(ghost, 0), kNull);
    EXPECT_EQ(VRDformGetEntities(0, 1, ghost, buffer.data()), 0u);
    EXPECT_EQ(VRDformEntityCount(ghost), 0u);
    EXPECT_EQ(VRDformGetPtrEntities(ghost, &count), nullptr);
    EXPECT_EQ(VRDentityGetPosition(ghost, l[0]), -1);
    EXPECT_EQ(VRDformCmpEntity(0, 1, ghost, set.data()), 0);
    EXPECT_EQ(VRDformSetEntity(ghost, 0, l[0]), 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(7, Report{"formptr", VRD_E_BADFORM}));
    EXPECT_EQ(count, 77u);
}

TEST_F(Entities, SetEntityReplacesInPlace) {
    VRDentity single = formWith(ints({1}));
    VRDentity f = formWith(ints({1, 2, 3}));
    ASSERT_EQ(VRDformSetEntity(single, 0, I(10)), 0);
    ASSERT_EQ(VRDformSetEntity(f, 2, I(30)), 0);
    EXPECT_EQ(list(single), ints({10}));
    EXPECT_EQ(list(f), ints({1, 2, 30}));
    EXPECT_EQ(VRDformSetEntity(f, 3, I(40)), VRD_E_BADPOSITION);
    EXPECT_EQ(VRDformSetEntity(form(), 0, I(40)), VRD_E_BADPOSITION);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformSetEntity", VRD_E_BADPOSITION},
                                                  {"VRDformSetEntity", VRD_E_BADPOSITION}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformSetEntity(f, 3, I(40)), VRD_E_BADPOSITION);
    EXPECT_EQ(VRDformCmpEntity(3, 1, f, ints({3}).data()), 0);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(list(f), ints({1, 2, 30}));
}

TEST_F(Entities, ValueAddersCreateThenAdd) {
    VRDentity f = form(), e{};
    ASSERT_EQ(VRDformAddInt(f, kLast, 1000000000, &e), 0);
    EXPECT_EQ(VRDintGetValue(e), 1000000000);
    ASSERT_EQ(VRDformAddReal(0, &e, f, 2.5), 0);
    EXPECT_EQ(VRDrealGetValue(e), 2.5);
    ASSERT_EQ(VRDformAddString(f, 1, "text", &e), 0);
    EXPECT_STREQ(VRDstringGetPtrValue(e), "text");
    List l = list(f);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(VRDrealGetValue(l[0]), 2.5);
    EXPECT_EQ(l[1], e);
    EXPECT_EQ(VRDintGetValue(l[2]), 1000000000);

    // A form made inside its owner, and one made without any.
    VRDentity sub{}, loose{};
    ASSERT_EQ(VRDformAddForm(f, 1, key, nullptr, &sub), 0);
    EXPECT_EQ(VRDformGetEntity(f, 1), sub);
    EXPECT_EQ(VRDformGetOwner(sub), f);
    EXPECT_TRUE(holds(f));
    ASSERT_EQ(VRDformAddForm(kNull, 0, VRD_NO_KEY, "LOOSE", &loose), 0);
    EXPECT_EQ(loose.first, 0x80000000u | VRDkeyFind("LOOSE"));
    EXPECT_TRUE(takeReports().empty());

    // The value is made, the add fails: result 1, the add's report.
    EXPECT_EQ(VRDformAddInt(f, 9, 5, &e), 1);
    EXPECT_EQ(VRDintGetValue(e), 5);
    EXPECT_EQ(VRDformAddReal(9, &e, f, 1.0), 1);
    EXPECT_EQ(VRDformAddString(f, 9, "x", &e), 1);
    // A form made before its insertion failed stays.
    EXPECT_EQ(VRDformAddForm(f, 9, key, nullptr, &sub), 1);
    EXPECT_EQ(VRDformIsKilled(sub), 0);
    EXPECT_EQ(takeReports(), std::vector<Report>(4, Report{"VRDformAddEntities", VRD_E_BADPOSITION}));
    EXPECT_EQ(VRDformEntityCount(f), 4u);
}

TEST_F(Entities, ResolutionFailuresUnderOwnNames) {
    VRDentity ghost = vrdtest::entity(0x80000000u | 40, 0);
    VRDentity one = I(1);
    EXPECT_EQ(VRDformAddEntities(ghost, 0, 1, &one), 1);
    EXPECT_EQ(VRDformDeleteEntities(ghost, 0, 1), 1);
    EXPECT_EQ(VRDformClear(ghost), 1);
    EXPECT_EQ(VRDformKill(ghost, 1, 1), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_BADFORM},
                                                  {"VRDformDeleteEntities", VRD_E_BADFORM},
                                                  {"VRDformClear", VRD_E_BADFORM},
                                                  {"VRDformKill", VRD_E_BADFORM}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformAddEntities(ghost, 0, 1, &one), 1);
    EXPECT_EQ(VRDformKill(ghost, 1, 1), 1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, ClearKeepsOwnerAndLeavesSubFormsAlive) {
    VRDentity owner = form();
    VRDentity f = form(owner);
    VRDentity sub{};
    ASSERT_EQ(VRDformAddForm(f, kLast, key, nullptr, &sub), 0);
    ASSERT_EQ(VRDformAddEntities(f, kLast, 2, ints({1, 2}).data()), 0);
    ASSERT_EQ(VRDformClear(f), 0);
    EXPECT_EQ(VRDformEntityCount(f), 0u);
    EXPECT_EQ(VRDformGetOwner(f), owner);
    EXPECT_EQ(VRDformIsKilled(sub), 0);
    EXPECT_EQ(liveSlots(), 0);
    EXPECT_EQ(VRDformClear(f), 0);  // clearing an empty form is harmless
}

TEST_F(Entities, KillUnlinksOneOccurrence) {
    VRDentity owner = form();
    VRDentity f = form(owner);
    List l{I(1), f, I(2), f};
    ASSERT_EQ(VRDformAddEntities(owner, kLast, 4, l.data()), 0);
    ASSERT_EQ(VRDformKill(f, 0, 1), 0);
    EXPECT_EQ(list(owner), (List{I(1), I(2), f}));
    EXPECT_EQ(VRDformIsKilled(f), 1);
    EXPECT_EQ(VRDformEntityCount(f), 0u);

    // An owner that does not list the form keeps its list; without unlink the
    // owner's list still names the killed form.  Reuse is off so that the new
    // forms do not take the killed record.
    ASSERT_EQ(VRDkeyReuse(key, 0), 0);
    VRDentity g = form(owner), h = form(owner);
    ASSERT_EQ(VRDformAddEntities(owner, 0, 1, &h), 0);
    ASSERT_EQ(VRDformKill(g, 0, 1), 0);
    ASSERT_EQ(VRDformKill(h, 0, 0), 0);
    EXPECT_EQ(list(owner), (List{h, I(1), I(2), f}));
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, RecursiveKillOrderDecidesReuse) {
    // root [a, 7, b]; a [a1, a2]; b [b1]: killed a1, a2, a, b1, b, root.
    VRDentity root = form(), a{}, b{}, a1{}, a2{}, b1{};
    ASSERT_EQ(VRDformAddForm(root, kLast, key, nullptr, &a), 0);
    ASSERT_EQ(VRDformAddEntities(root, kLast, 1, ints({7}).data()), 0);
    ASSERT_EQ(VRDformAddForm(root, kLast, key, nullptr, &b), 0);
    ASSERT_EQ(VRDformAddForm(a, kLast, key, nullptr, &a1), 0);
    ASSERT_EQ(VRDformAddForm(a, kLast, key, nullptr, &a2), 0);
    ASSERT_EQ(VRDformAddForm(b, kLast, key, nullptr, &b1), 0);
    // Without recurse only the form itself dies.
    VRDentity lone = form();
    VRDentity child{};
    ASSERT_EQ(VRDformAddForm(lone, kLast, key, nullptr, &child), 0);
    ASSERT_EQ(VRDformKill(lone, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(child), 0);
    ASSERT_EQ(VRDformKill(child, 0, 0), 0);
    uint32_t count = keyRecord().formCount;

    ASSERT_EQ(VRDformKill(root, 1, 0), 0);
    for (VRDentity e : {root, a, b, a1, a2, b1}) EXPECT_EQ(VRDformIsKilled(e), 1) << e;
    EXPECT_EQ(liveSlots(), 0);
    List reused;
    for (int i = 0; i < 8; ++i) reused.push_back(form());
    EXPECT_EQ(reused, (List{root, b, b1, a, a2, a1, child, lone}));
    EXPECT_EQ(keyRecord().formCount, count);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, PropertyListDiesWithItsFormWhateverRecurseSays) {
    // f [s] with property list p [q], all of one key.
    VRDentity f = form(), s = form(), p = form(), q = form();
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &s), 0);
    ASSERT_EQ(VRDformAddEntities(p, kLast, 1, &q), 0);
    ASSERT_EQ(VRDformSetPropertyList(f, p), 0);
    ASSERT_EQ(VRDformKill(f, 1, 0), 0);
    // Sub-forms first, then the property list with its own sub-forms, then f.
    EXPECT_EQ((List{form(), form(), form(), form()}), (List{f, p, q, s}));

    // Without recurse, the property list still goes, and whatever it holds.
    VRDentity g = form(), t = form(), r = form(), u = form();
    ASSERT_EQ(VRDformAddEntities(g, kLast, 1, &t), 0);
    ASSERT_EQ(VRDformAddEntities(r, kLast, 1, &u), 0);
    ASSERT_EQ(VRDformSetPropertyList(g, r), 0);
    ASSERT_EQ(VRDformKill(g, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(t), 0);
    EXPECT_EQ(VRDformIsKilled(r), 1);
    EXPECT_EQ(VRDformIsKilled(u), 1);

    // Properties made the ordinary way: the killed "PLIST" record is the next one of its key.
    VRDentity h = form();
    ASSERT_EQ(VRDformSetProperty(h, 1, 2), 0);
    VRDentity plist = record(h).propertyList;
    ASSERT_EQ(VRDformKill(h, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(plist), 1);
    VRDentity next{};
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "PLIST", &next), 0);
    EXPECT_EQ(next, plist);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, KillNeverFreesARecordTwiceAndEndsOnCycles) {
    VRDentity a = form(), b = form(), c = form();
    // a [b, b, c]; b [a, b]; c [a]: repeats and cycles everywhere.
    List la{b, b, c}, lb{a, b};
    ASSERT_EQ(VRDformAddEntities(a, kLast, 3, la.data()), 0);
    ASSERT_EQ(VRDformAddEntities(b, kLast, 2, lb.data()), 0);
    ASSERT_EQ(VRDformAddEntities(c, kLast, 1, &a), 0);
    ASSERT_EQ(VRDformKill(a, 1, 0), 0);
    // Killed in the order b, c, a: reuse gives a, c, b and then new records.
    EXPECT_EQ(form(), a);
    EXPECT_EQ(form(), c);
    EXPECT_EQ(form(), b);
    EXPECT_EQ(form(), vrdtest::entity(0x80000000u | key, 3));

    // A killed form is killed no second time.
    VRDentity d = form();
    ASSERT_EQ(VRDformKill(d, 1, 1), 0);
    EXPECT_EQ(VRDformKill(d, 1, 1), 0);
    EXPECT_EQ(VRDformClear(d), 0);
    EXPECT_EQ(form(), d);
    EXPECT_EQ(form(), vrdtest::entity(0x80000000u | key, 5));
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, FailedSubKillLeavesTheRestAlive) {
    // root [x, ghost]: x dies, the unresolvable entity stops the kill.
    VRDentity root = form(), x = form();
    List l{x, vrdtest::entity(0x80000000u | key, 500)};
    ASSERT_EQ(VRDformAddEntities(root, kLast, 2, l.data()), 0);
    EXPECT_EQ(VRDformKill(root, 1, 0), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformKill", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformIsKilled(x), 1);
    EXPECT_EQ(VRDformIsKilled(root), 0);
    EXPECT_EQ(list(root), l);
    // Once the bad entity is gone the kill completes.
    ASSERT_EQ(VRDformDeleteEntities(root, 1, 1), 0);
    EXPECT_EQ(VRDformKill(root, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(root), 1);
}

TEST_F(Entities, KillWithoutWorkSpaceTouchesNothing) {
    VRDentity owner = form();
    VRDentity f{}, sub{};
    ASSERT_EQ(VRDformAddForm(owner, kLast, key, nullptr, &f), 0);
    ASSERT_EQ(VRDformAddForm(f, kLast, key, nullptr, &sub), 0);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformKill(f, 1, 1), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformKill", VRD_E_NOMEM}}));
    EXPECT_EQ(list(owner), List{f});
    EXPECT_EQ(VRDformIsKilled(f), 0);
    EXPECT_EQ(VRDformIsKilled(sub), 0);
    EXPECT_EQ(VRDformKill(f, 1, 1), 0);
    EXPECT_EQ(VRDformEntityCount(owner), 0u);
    EXPECT_EQ(VRDformIsKilled(sub), 1);
}

TEST_F(Entities, MillionNestedFormsDieWithoutRecursion) {
    // Spread over many keys so that no form array grows large.
    constexpr int kKeys = 1000;
    constexpr int kDepth = 1000000;
    std::vector<uint32_t> keys(kKeys);
    for (int i = 0; i < kKeys; ++i) ASSERT_EQ(VRDkeyCreate(("LEVEL" + std::to_string(i)).c_str(), &keys[i]), 0);
    VRDentity root{}, inner{};
    ASSERT_EQ(VRDformCreate(kNull, keys[0], nullptr, &root), 0);
    inner = root;
    for (int depth = 1; depth < kDepth; ++depth) {
        VRDentity next{};
        ASSERT_EQ(VRDformAddForm(inner, kLast, keys[depth % kKeys], nullptr, &next), 0);
        inner = next;
    }
    ASSERT_EQ(VRDformKill(root, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(root), 1);
    EXPECT_EQ(VRDformIsKilled(inner), 1);
    // The deepest form died first, the root last: the root heads its key's chain.
    VRDentity again{};
    ASSERT_EQ(VRDformCreate(kNull, keys[0], nullptr, &again), 0);
    EXPECT_EQ(again, root);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Entities, ListLengthLimit) {
    constexpr uint32_t kMax = 16777215;
    std::unique_ptr<VRDentity[]> many(new VRDentity[kMax]);
    VRDentity one = I(1);
    for (uint32_t i = 0; i < kMax; ++i) many[i] = one;
    VRDentity f = form();
    ASSERT_EQ(VRDformAddEntities(f, kLast, kMax, many.get()), 0);
    many.reset();
    EXPECT_EQ(VRDformEntityCount(f), kMax);
    EXPECT_EQ(VRDformGetEntity(f, kLast), one);
    EXPECT_EQ(VRDformAddEntities(f, kLast, 1, &one), 1);
    VRDsetCheck(0);
    EXPECT_EQ(VRDformAddEntities(f, 0, 1, &one), 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(2, Report{"VRDformAddEntities", VRD_E_TOOMANYENTITIES}));
    EXPECT_EQ(VRDformEntityCount(f), kMax);
    // A count that would wrap 32 bits is refused the same way.
    VRDentity g = formWith(ints({1, 2}));
    EXPECT_EQ(VRDformAddEntities(g, kLast, 0xFFFFFFFFu, &one), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_TOOMANYENTITIES}}));
}

TEST_F(Entities, FailedSlabGrowthLeavesTheListUsable) {
    VRDentity f = formWith(ints({1}));
    VRDentity two = I(2);
    heapwrapFailNth(1);  // the slab's first allocation
    EXPECT_EQ(VRDformAddEntities(f, kLast, 1, &two), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"getElist", VRD_E_NOMEM}}));
    EXPECT_EQ(list(f), ints({1}));
    ASSERT_EQ(VRDformAddEntities(f, kLast, 1, &two), 0);
    EXPECT_EQ(list(f), ints({1, 2}));

    // A deletion that needs a new run past the capacity.
    List l(1000 - 2, I(3));
    ASSERT_EQ(VRDformAddEntities(f, kLast, static_cast<uint32_t>(l.size()), l.data()), 0);
    ASSERT_EQ(keyRecord().slabCapacity, 1020);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformDeleteEntities(f, 0, 1), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"getElist", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDformEntityCount(f), 1000u);
    EXPECT_EQ(VRDformGetEntity(f, 0), I(1));
    ASSERT_EQ(VRDformDeleteEntities(f, 0, 1), 0);
    EXPECT_EQ(VRDformGetEntity(f, 0), two);
    EXPECT_EQ(VRDformEntityCount(f), 999u);
}

TEST_F(Entities, EveryRoutineNeedsAStore) {
    VRDentity f = formWith(ints({1, 2}));
    VRDentity one = I(1), e{};
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    takeReports();
    uint32_t count = 0;
    EXPECT_EQ(VRDformAddEntities(f, 0, 1, &one), 1);
    EXPECT_EQ(VRDformDeleteEntities(f, 0, 1), 1);
    EXPECT_EQ(VRDformGetEntity(f, 0), kNull);
    EXPECT_EQ(VRDformGetEntities(0, 1, f, &e), 0u);
    EXPECT_EQ(VRDformSetEntity(f, 0, one), 1);
    EXPECT_EQ(VRDformEntityCount(f), 0u);
    EXPECT_EQ(VRDformGetPtrEntities(f, &count), nullptr);
    EXPECT_EQ(VRDentityGetPosition(f, one), -1);
    EXPECT_EQ(VRDformCmpEntity(0, 1, f, &one), 0);
    EXPECT_EQ(VRDformAddForm(f, 0, key, nullptr, &e), 1);
    EXPECT_EQ(VRDformAddInt(f, 0, 1, &e), 1);
    EXPECT_EQ(VRDformAddReal(0, &e, f, 1.0), 1);
    EXPECT_EQ(VRDformAddString(f, 0, "s", &e), 1);
    EXPECT_EQ(VRDformClear(f), 1);
    EXPECT_EQ(VRDformKill(f, 1, 1), 1);
    KeyRecord *kr;
    FormRecord *fr;
    EXPECT_EQ(formptr(f, &kr, &fr), 1);
    EXPECT_EQ(VRDformCreate(kNull, key, nullptr, &e), 1);
    EXPECT_EQ(VRDformGetOwner(f), kNull);
    EXPECT_EQ(VRDformSetOwner(f, kNull), 1);
    EXPECT_EQ(VRDformIsKilled(f), 1);
    std::vector<Report> expected;
    for (const char *name : {"VRDformAddEntities", "VRDformDeleteEntities", "VRDformGetEntity", "VRDformGetEntities",
                             "VRDformSetEntity", "VRDformEntityCount", "VRDformGetPtrEntities",
                             "VRDentityGetPosition", "VRDformCmpEntity", "VRDformAddForm", "VRDformAddInt",
                             "VRDformAddReal", "VRDformAddString", "VRDformClear", "VRDformKill", "formptr",
                             "VRDformCreate", "VRDformGetOwner", "VRDformSetOwner", "VRDformIsKilled"})
        expected.push_back({name, VRD_E_NOSTORE});
    EXPECT_EQ(takeReports(), expected);
}

}  // namespace
