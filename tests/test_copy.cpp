// test_copy.cpp - deep copies, entity-range copies, keyword and key tests, re-keying, and million-level trees.
#include <string>

#include "support.h"

using vrdtest::Report;
using vrdtest::StoreTest;

namespace {

const VRDentity kNull{0, 0};
constexpr uint32_t kEnd = 0xFFFFFFFFu;

class Copy : public vrdtest::TreeTest {
protected:
    static VRDentity key0(uint32_t key, uint32_t index) { return VRDentity{0x80000000u | key, index}; }
};

TEST_F(Copy, CopiesListsDeeplyPropertyListFirstAndSharesPoolValues) {
    VRDentity owner = form("O");
    add(owner, {integer(1)});
    VRDentity flat = form("S");
    add(flat, {integer(1), integer(2), integer(3)});
    VRDentity c{};
    ASSERT_EQ(VRDformCopy(flat, owner, key("S"), nullptr, &c), 0);
    EXPECT_EQ(c, key0(key("S"), 1));
    EXPECT_EQ(list(c), list(flat));
    EXPECT_EQ(VRDformGetOwner(c), owner);
    EXPECT_EQ(list(owner), (std::vector<VRDentity>{integer(1)}));  // the copy is not listed
    uint32_t count = 0;
    const VRDentity *run = VRDformGetPtrEntities(c, &count);
    EXPECT_EQ(count, 3u);
    EXPECT_NE(run, VRDformGetPtrEntities(flat, &count));  // a run of its own

    // A tree: s holds (n1, 5, n2); n1 holds n3; s and n1 carry properties.
    VRDentity s = form("T");
    VRDentity n1 = child(s, "N");
    add(s, {integer(5)});
    VRDentity n2 = child(s, "N");
    VRDentity n3 = child(n1, "N");
    ASSERT_EQ(VRDformSetProperty(n1, 2, 20), 0);  // PLIST index 0
    ASSERT_EQ(VRDformSetProperty(s, 1, 10), 0);   // PLIST index 1
    uint32_t n = key("N"), plist = key("PLIST");

    ASSERT_EQ(VRDformCopy(s, kNull, VRD_NO_KEY, "U", &c), 0);
    EXPECT_STREQ(VRDformGetPtrKeyword(c), "U");
    EXPECT_EQ(VRDformGetOwner(c), kNull);
    // Depth first, property list before entities: s's list copy comes
    // first, then n1, its list, n3, and last n2.
    std::vector<VRDentity> copied = list(c);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0], key0(n, 3));
    EXPECT_EQ(copied[1], integer(5));
    EXPECT_EQ(copied[2], key0(n, 5));
    EXPECT_EQ(list(copied[0]), (std::vector<VRDentity>{key0(n, 4)}));
    EXPECT_EQ(VRDformGetOwner(copied[0]), c);
    EXPECT_EQ(VRDformGetOwner(key0(n, 4)), copied[0]);
    EXPECT_EQ(VRDformGetOwner(copied[2]), c);
    EXPECT_EQ(VRDformGetProperty(c, 1), 10);
    EXPECT_EQ(VRDformGetProperty(copied[0], 2), 20);
    EXPECT_EQ(VRDformGetOwner(key0(plist, 2)), c);
    EXPECT_EQ(VRDformGetOwner(key0(plist, 3)), copied[0]);
    // The source is unchanged.
    EXPECT_EQ(list(s), (std::vector<VRDentity>{n1, integer(5), n2}));
    EXPECT_EQ(list(n1), (std::vector<VRDentity>{n3}));
    EXPECT_EQ(VRDformGetOwner(n3), n1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Copy, OnlyListsThatHoldFormsAreFollowedAndANullEntityEndsTheWalk) {
    // A form entity put in with SetEntity leaves holdsForms clear: shared, not copied.
    VRDentity shared = form("B");
    VRDentity plain = form("A");
    add(plain, {integer(1), integer(2)});
    ASSERT_EQ(VRDformSetEntity(plain, 1, shared), 0);
    VRDentity c{};
    ASSERT_EQ(VRDformCopy(plain, kNull, key("A"), nullptr, &c), 0);
    EXPECT_EQ(list(c), (std::vector<VRDentity>{integer(1), shared}));

    // The walk stops at the first untagged entity: forms after it stay shared.
    VRDentity gap = form("A");
    VRDentity b1 = form("B", gap), b2 = form("B", gap);
    add(gap, {b1, kNull, b2});
    ASSERT_EQ(VRDformCopy(gap, kNull, key("A"), nullptr, &c), 0);
    std::vector<VRDentity> copied = list(c);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_NE(copied[0], b1);
    EXPECT_STREQ(VRDformGetPtrKeyword(copied[0]), "B");
    EXPECT_EQ(copied[1], kNull);
    EXPECT_EQ(copied[2], b2);

    // A form met again on its own path stays shared, so a copy ends; one
    // listed twice side by side is copied twice.
    VRDentity outer = form("A");
    VRDentity inner = child(outer, "B");
    add(inner, {outer, integer(3)});
    add(outer, {inner});
    ASSERT_EQ(VRDformCopy(outer, kNull, key("A"), nullptr, &c), 0);
    copied = list(c);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_NE(copied[0], inner);
    EXPECT_NE(copied[1], inner);
    EXPECT_NE(copied[0], copied[1]);
    EXPECT_EQ(list(copied[0]), (std::vector<VRDentity>{outer, integer(3)}));
    EXPECT_EQ(list(copied[1]), (std::vector<VRDentity>{outer, integer(3)}));

    // An empty property list is not copied.
    VRDentity bare = form("A");
    ASSERT_EQ(VRDformSetProperty(bare, 1, 1), 0);
    ASSERT_EQ(VRDformDeleteProperty(1, bare), 0);
    uint32_t plistForms = 0;
    for (int32_t cursor = 0; VRDformFindNext(key("PLIST"), 0, nullptr, &cursor) != kNull;) ++plistForms;
    ASSERT_EQ(VRDformCopy(bare, kNull, key("A"), nullptr, &c), 0);
    uint32_t after = 0;
    for (int32_t cursor = 0; VRDformFindNext(key("PLIST"), 0, nullptr, &cursor) != kNull;) ++after;
    EXPECT_EQ(after, plistForms);
    EXPECT_EQ(VRDformGetProperty(c, 1), 0x7FFFFFFF);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Copy, CopyFailuresLeaveTheEmptyCopy) {
    VRDentity src = form("S");
    add(src, {integer(1), integer(2), integer(3)});
    VRDentity c{};
    EXPECT_EQ(VRDformCopy(VRDentity{src.first, 9}, kNull, key("S"), nullptr, &c), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformEntityCount(c), 0u);  // the new form stays, empty

    // Each allocation of a copy fails in turn: every failure is a -2 and
    // leaves the new form empty; one of them is the slab run's.
    uint32_t d = key("D");
    bool slabFailed = false;
    for (long nth = 1; nth <= 8; ++nth) {
        heapwrapFailNth(nth);
        int result = VRDformCopy(src, kNull, d, nullptr, &c);
        heapwrapFailNth(0);
        std::vector<Report> seen = takeReports();
        if (result == 0) break;
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].code, VRD_E_NOMEM);
        slabFailed = slabFailed || seen[0].routine == "getElist";
        if (seen[0].routine != "VRDformCreate") {
            EXPECT_EQ(VRDformEntityCount(c), 0u);
        }
    }
    EXPECT_TRUE(slabFailed);
    EXPECT_EQ(list(c), list(src));
}

TEST_F(Copy, CopyEntitiesCopiesARangeDeeply) {
    VRDentity src = form("S");
    VRDentity a = child(src, "A");
    add(src, {integer(7), kNull});
    VRDentity dst = form("D");
    add(dst, {integer(1), integer(2)});
    ASSERT_EQ(VRDformCopyEntities(src, kEnd, 1, dst, 1), 0);  // -1: the last entity
    EXPECT_EQ(list(dst), (std::vector<VRDentity>{integer(1), kNull, integer(2)}));
    ASSERT_EQ(VRDformCopyEntities(src, 0, 2, dst, kEnd), 0);
    std::vector<VRDentity> got = list(dst);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_NE(got[3], a);
    EXPECT_STREQ(VRDformGetPtrKeyword(got[3]), "A");
    EXPECT_EQ(VRDformGetOwner(got[3]), dst);
    EXPECT_EQ(got[4], integer(7));

    // Forms are copied whatever holdsForms says; source and destination may coincide.
    VRDentity loose = form("L");
    add(loose, {integer(3)});
    ASSERT_EQ(VRDformSetEntity(loose, 0, a), 0);
    ASSERT_EQ(VRDformCopyEntities(loose, 0, 1, loose, 0), 0);
    got = list(loose);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0], a);
    EXPECT_EQ(got[1], a);
    EXPECT_EQ(VRDformGetOwner(got[0]), loose);

    // Nothing to copy: not even the form is looked at.
    EXPECT_EQ(VRDformCopyEntities(VRDentity{0x80000000u | 999, 0}, 0, 0, dst, 0), 0);
    EXPECT_TRUE(takeReports().empty());

    EXPECT_EQ(VRDformCopyEntities(src, 2, 2, dst, 0), 1);
    EXPECT_EQ(VRDformCopyEntities(loose, kEnd, 2, dst, 0), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>(2, Report{"VRDformCopyEntities", VRD_E_BADPOSITION})));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformCopyEntities(src, 2, 2, dst, 0), 1);  // unchecked, still never read past the list
    EXPECT_TRUE(takeReports().empty());
    VRDsetCheck(1);
    EXPECT_EQ(VRDformCopyEntities(src, 0, 1, dst, 99), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_BADPOSITION}}));

    EXPECT_EQ(list(dst).size(), 5u);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformCopyEntities(src, 1, 1, dst, 0), 1);
    heapwrapFailNth(0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCopyEntities", VRD_E_NOMEM}}));
    EXPECT_EQ(list(dst).size(), 5u);
}

TEST_F(Copy, KeywordsAndKeyTests) {
    VRDentity f = form("Alpha");
    uint32_t keys[2] = {5, key("Alpha")};
    EXPECT_EQ(VRDformCmpKeys(f, 2, keys), 1);
    EXPECT_EQ(VRDformCmpKeys(f, 1, keys), 0);
    EXPECT_EQ(VRDformCmpKeys(f, 0, keys), 0);
    EXPECT_STREQ(VRDformGetPtrKeyword(f), "Alpha");
    char buffer[4];
    VRDformGetKeyword(f, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Alp");
    EXPECT_EQ(VRDformGetPtrKeyword(VRDentity{0xFFFFFFFFu, 0}), nullptr);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(VRDformGetPtrKeyword(VRDentity{0x80000000u | 40, 0}), nullptr);
    VRDformGetKeyword(VRDentity{0x80000000u | 40, 0}, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetPtrValue", VRD_E_BADKEY}, {"VRDkeyGetValue", VRD_E_BADKEY}}));
}

TEST_F(Copy, SetKeyMovesTheFormAndItsReferences) {
    VRDentity owner = form("O");
    VRDentity other = form("X");
    VRDentity a = child(owner, "A");
    VRDentity held = child(a, "H");
    add(a, {integer(4), integer(5)});
    ASSERT_EQ(VRDformSetProperty(a, 1, 11), 0);
    add(other, {a, integer(0), a});

    VRDentity b{};
    ASSERT_EQ(VRDformSetKey(a, VRD_NO_KEY, "B", 0, &b), 0);
    EXPECT_STREQ(VRDformGetPtrKeyword(b), "B");
    EXPECT_EQ(list(b), (std::vector<VRDentity>{held, integer(4), integer(5)}));
    EXPECT_EQ(VRDformGetOwner(b), owner);
    EXPECT_EQ(list(owner), (std::vector<VRDentity>{b}));
    EXPECT_EQ(list(other), (std::vector<VRDentity>{a, integer(0), a}));  // no references flag
    EXPECT_EQ(VRDformGetProperty(b, 1), 11);
    EXPECT_EQ(VRDformIsKilled(a), 1);
    EXPECT_EQ(VRDformEntityCount(a), 0u);
    // The held form and the property list now name the new record.
    EXPECT_EQ(VRDformGetOwner(held), b);
    VRDentity current = kNull;
    uint32_t position = 0;
    EXPECT_EQ(VRDformFindUnder(owner, key("H"), 0, nullptr, &current, &position), held);
    EXPECT_EQ(VRDformFindUnder(owner, key("H"), 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(VRDformFindOver(held, key("O"), 0, nullptr), owner);
    uint32_t plist = key("PLIST");
    EXPECT_EQ(VRDformGetOwner(VRDformFindFirst(plist, 0, nullptr, nullptr)), b);
    // The freed record is not handed out while the key does not reuse.
    VRDentity next = form("A");
    EXPECT_EQ(next, VRDentity({a.first, 1}));

    // With references, every list follows; the same key still takes a new index.
    VRDentity c{};
    add(other, {b});
    ASSERT_EQ(VRDformSetKey(b, key("B"), nullptr, 1, &c), 0);
    EXPECT_EQ(c, VRDentity({b.first, 1}));
    EXPECT_EQ(list(other), (std::vector<VRDentity>{a, integer(0), a, c}));
    EXPECT_EQ(list(owner), (std::vector<VRDentity>{c}));
    EXPECT_EQ(VRDformIsKilled(b), 1);
    EXPECT_EQ(VRDformGetOwner(held), c);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Copy, SetKeyFailures) {
    VRDentity owner = form("O");
    VRDentity a = form("A", owner);  // owned but not listed
    add(a, {integer(1), integer(2)});
    VRDentity b{};
    EXPECT_EQ(VRDformSetKey(a, VRD_NO_KEY, "B", 0, &b), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformSetEntity", VRD_E_BADPOSITION}}));
    EXPECT_EQ(VRDformIsKilled(a), 0);  // not freed: b holds a copy of its data
    EXPECT_EQ(list(b), list(a));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformSetKey(a, VRD_NO_KEY, "B", 0, &b), 1);
    EXPECT_EQ(list(owner), std::vector<VRDentity>{});
    EXPECT_TRUE(takeReports().empty());
    VRDsetCheck(1);

    EXPECT_EQ(VRDformSetKey(VRDentity{a.first, 7}, VRD_NO_KEY, "B", 0, &b), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}}));
}

TEST_F(Copy, WithoutAStoreEachRoutineReportsUnderItsOwnName) {
    VRDentity f = form("A");
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    takeReports();
    VRDentity out{};
    char buffer[8] = "x";
    uint32_t keys[1] = {0};
    EXPECT_EQ(VRDformCopy(f, kNull, 0, nullptr, &out), 1);
    EXPECT_EQ(VRDformCopyEntities(f, 0, 1, f, 0), 1);
    VRDformGetKeyword(f, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(VRDformGetPtrKeyword(f), nullptr);
    EXPECT_EQ(VRDformCmpKeys(f, 1, keys), 0);
    EXPECT_EQ(VRDformSetKey(f, 0, nullptr, 0, &out), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCopy", VRD_E_NOSTORE},
                                                  {"VRDformCopyEntities", VRD_E_NOSTORE},
                                                  {"VRDformGetKeyword", VRD_E_NOSTORE},
                                                  {"VRDformGetPtrKeyword", VRD_E_NOSTORE},
                                                  {"VRDformCmpKeys", VRD_E_NOSTORE},
                                                  {"VRDformSetKey", VRD_E_NOSTORE}}));
}

// A million nested forms: copy, search and kill keep their order and
// results without using the machine stack for the depth.  The levels take
// their keys in turn from a hundred keywords, so that no single form array
// has to hold more than a hundredth of the tree.
TEST_F(Copy, MillionLevelChain) {
    constexpr uint32_t kDepth = 1000000, kKeys = 100;
    uint32_t keys[kKeys];
    for (uint32_t i = 0; i < kKeys; ++i) keys[i] = key(("N" + std::to_string(i)).c_str());
    uint32_t leafKey = key("A");
    auto level = [&](uint32_t i, uint32_t base) { return VRDentity{0x80000000u | keys[i % kKeys], base + i / kKeys}; };
    VRDentity root{};
    ASSERT_EQ(VRDformCreate(kNull, keys[0], nullptr, &root), 0);
    VRDentity f = root;
    for (uint32_t i = 1; i < kDepth; ++i) ASSERT_EQ(VRDformAddForm(f, kEnd, keys[i % kKeys], nullptr, &f), 0);
    VRDentity parent = f;
    VRDentity leaf{};
    ASSERT_EQ(VRDformAddForm(parent, kEnd, leafKey, nullptr, &leaf), 0);

    VRDentity c{};
    ASSERT_EQ(VRDformCopy(root, kNull, keys[0], nullptr, &c), 0);
    EXPECT_EQ(c, level(0, kDepth / kKeys));
    // Each level's copy is made before the level below it, and owned by its holder.
    VRDentity at = c;
    for (uint32_t i = 1; i < kDepth; ++i) {
        VRDentity below = VRDformGetEntity(at, 0);
        ASSERT_EQ(below, level(i, kDepth / kKeys));
        ASSERT_EQ(VRDformGetOwner(below), at);
        at = below;
    }
    VRDentity leafCopy = VRDformGetEntity(at, 0);
    EXPECT_EQ(leafCopy, VRDentity({leaf.first, 1}));

    VRDentity current = kNull;
    uint32_t position = 9;
    EXPECT_EQ(VRDformFindUnder(root, leafKey, 0, nullptr, &current, &position), leaf);
    EXPECT_EQ(current, parent);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(VRDformFindUnder(root, leafKey, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(current, root);
    EXPECT_EQ(position, 1u);
    EXPECT_EQ(VRDformFindOver(leafCopy, leafKey, 0, nullptr), kNull);

    ASSERT_EQ(VRDformKill(root, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(leaf), 1);
    EXPECT_EQ(VRDformIsKilled(parent), 1);
    EXPECT_EQ(VRDformIsKilled(leafCopy), 0);
    ASSERT_EQ(VRDformKill(c, 1, 0), 0);
    EXPECT_EQ(VRDformIsKilled(leafCopy), 1);
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
