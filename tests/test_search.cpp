// test_search.cpp - pattern search by key, in a list, down the tree, up the owners, and by entity.
#include "support.h"

using vrdtest::Report;
using vrdtest::StoreTest;

namespace {

const VRDentity kNull{0, 0};

class SearchTest : public vrdtest::TreeTest {};

// Counts the candidates offered and accepts the one at `acceptAt`.
int offered = 0;
int acceptAt = -1;
int32_t VRD_CALL acceptNth(VRDentity) { return offered++ == acceptAt ? 1 : 0; }

TEST_F(SearchTest, FindFirstTakesFormsInIndexOrderAndAsksTheAcceptRoutine) {
    uint32_t a = key("A");
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), kNull);  // a key without forms
    VRDentity f0 = form("A"), f1 = form("A"), f2 = form("A");
    add(f1, {integer(5)});
    add(f2, {integer(5), integer(6)});
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), f0);
    ASSERT_EQ(VRDformKill(f0, 0, 0), 0);
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), f1);

    VRDentity five = integer(5);
    offered = 0;
    acceptAt = 1;
    EXPECT_EQ(VRDformFindFirst(a, 1, &five, acceptNth), f2);
    offered = 0;
    acceptAt = -1;
    EXPECT_EQ(VRDformFindFirst(a, 1, &five, acceptNth), kNull);
    EXPECT_EQ(offered, 2);  // every matching live form was offered once

    // Keys out of range simply have no forms.
    EXPECT_EQ(VRDformFindFirst(0x7FFFFFF0u, 0, nullptr, nullptr), kNull);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, PatternsArePrefixTestsWithWildcardsExceptOnSingleEntities) {
    uint32_t a = key("A");
    VRDentity pair = form("A"), five = form("A"), empty = form("A"), nullOne = form("A"), triple = form("A");
    add(pair, {integer(1), integer(5)});
    add(five, {integer(5)});
    add(triple, {integer(2), integer(5), integer(9)});
    // A single null entity, kept by SetEntity on a one-entity list.
    add(nullOne, {integer(0)});
    ASSERT_EQ(VRDformSetEntity(nullOne, 0, kNull), 0);

    VRDentity secondIsFive[2] = {kNull, integer(5)};
    int32_t cursor = 0;
    EXPECT_EQ(VRDformFindNext(a, 2, secondIsFive, &cursor), pair);
    EXPECT_EQ(VRDformFindNext(a, 2, secondIsFive, &cursor), triple);
    EXPECT_EQ(VRDformFindNext(a, 2, secondIsFive, &cursor), kNull);

    // One null pattern entity: any list of two or more, but a one-entity
    // list only when that entity is itself null.
    cursor = 0;
    std::vector<VRDentity> found;
    for (VRDentity f; (f = VRDformFindNext(a, 1, &kNull, &cursor)) != kNull;) found.push_back(f);
    EXPECT_EQ(found, (std::vector<VRDentity>{pair, nullOne, triple}));

    // Every pattern entity must be equal in both words; a string is not an identifier.
    VRDentity s{}, id{};
    ASSERT_EQ(VRDstringCreate("x", &s), 0);
    ASSERT_EQ(VRDidCreate("x", &id), 0);
    add(empty, {s, integer(1)});
    VRDentity byId[1] = {id}, byString[1] = {s};
    EXPECT_EQ(VRDformFindFirst(a, 1, byId, nullptr), kNull);
    EXPECT_EQ(VRDformFindFirst(a, 1, byString, nullptr), empty);
    VRDentity tooLong[4] = {integer(2), integer(5), integer(9), kNull};
    EXPECT_EQ(VRDformFindFirst(a, 4, tooLong, nullptr), kNull);
    EXPECT_EQ(VRDformFindFirst(a, 3, tooLong, nullptr), triple);
}

TEST_F(SearchTest, FindNextLeavesItsCursorOnePastTheEnd) {
    uint32_t a = key("A");
    VRDentity f0 = form("A"), f1 = form("A"), f2 = form("A");
    ASSERT_EQ(VRDformKill(f1, 0, 0), 0);
    int32_t cursor = 0;
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), f0);
    EXPECT_EQ(cursor, 1);
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), f2);  // the killed form is passed over
    EXPECT_EQ(cursor, 3);
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 4);
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 5);

    // A key without forms, one out of range, or a cursor before the first
    // form: nothing outside the form array is read.
    uint32_t b = key("B");
    cursor = 0;
    EXPECT_EQ(VRDformFindNext(b, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 1);
    cursor = 7;
    EXPECT_EQ(VRDformFindNext(0x40000000u, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 8);
    cursor = -3;
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), f0);
    EXPECT_EQ(cursor, 1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindInScansOneListFromItsCursor) {
    uint32_t a = key("A");
    VRDentity holder = form("H");
    VRDentity a1 = form("A", holder), a2 = form("A", holder), b = form("B", holder);
    add(a2, {integer(3), integer(4)});
    add(holder, {a1, integer(7), b, a2});
    uint32_t cursor = 0;
    EXPECT_EQ(VRDformFindIn(holder, a, 0, nullptr, &cursor), a1);
    EXPECT_EQ(cursor, 1u);
    EXPECT_EQ(VRDformFindIn(holder, a, 0, nullptr, &cursor), a2);
    EXPECT_EQ(cursor, 4u);
    EXPECT_EQ(VRDformFindIn(holder, a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 4u);

    VRDentity three = integer(3);
    cursor = 0;
    EXPECT_EQ(VRDformFindIn(holder, a, 1, &three, &cursor), a2);
    EXPECT_EQ(cursor, 4u);
    cursor = 2;
    EXPECT_EQ(VRDformFindIn(holder, key("B"), 0, nullptr, &cursor), b);
    EXPECT_EQ(cursor, 3u);
    EXPECT_TRUE(takeReports().empty());

    // An unresolvable form is refused in check mode and leaves the cursor.
    cursor = 2;
    VRDentity beyond{holder.first, 99};
    EXPECT_EQ(VRDformFindIn(beyond, a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 2u);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformFindIn", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformFindIn(VRDentity{0x80000000u | 5000, 0}, a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformFindIn", VRD_E_BADFORM}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformFindIn(beyond, a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(cursor, 2u);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindUnderGoesDepthFirstAndKeepsItsCursor) {
    uint32_t a = key("A");
    VRDentity root = form("R");
    VRDentity b1 = child(root, "B");
    VRDentity a1 = child(root, "A");
    VRDentity a2 = child(b1, "A");
    VRDentity inner = child(a1, "A");  // inside a form of the searched key: never found
    (void)inner;
    VRDentity c = child(b1, "C");
    VRDentity a3 = child(c, "A");

    VRDentity current = kNull;
    uint32_t position = 77;
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), a2);
    EXPECT_EQ(current, b1);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), a3);
    EXPECT_EQ(current, c);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), a1);
    EXPECT_EQ(current, root);
    EXPECT_EQ(position, 1u);
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(current, root);
    EXPECT_EQ(position, 2u);

    // A pattern skips non-matching candidates without entering them.
    add(a3, {integer(8)});
    VRDentity eight = integer(8);
    current = kNull;
    EXPECT_EQ(VRDformFindUnder(root, a, 1, &eight, &current, &position), a3);
    EXPECT_EQ(VRDformFindUnder(root, a, 1, &eight, &current, &position), kNull);

    // Short of memory for its walk, the search finds nothing, reports
    // nothing and leaves the cursor for a later retry.
    current = b1;
    position = 0;
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), kNull);
    heapwrapFailNth(0);
    EXPECT_EQ(current, b1);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(VRDformFindUnder(root, a, 0, nullptr, &current, &position), a3);

    // A search below a leaf ends at once.
    current = kNull;
    EXPECT_EQ(VRDformFindUnder(a2, a, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(current, a2);
    EXPECT_EQ(position, 0u);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindUnderEndsOnInconsistentTrees) {
    uint32_t a = key("A");
    VRDentity root = form("R");
    VRDentity b = child(root, "B");
    VRDentity a1 = child(b, "A");
    // b lists itself and the root; the root lists b twice.
    add(b, {b, root});
    add(root, {b});
    std::vector<VRDentity> found;
    VRDentity current = kNull;
    uint32_t position = 0;
    for (int i = 0; i < 10; ++i) {
        VRDentity f = VRDformFindUnder(root, a, 0, nullptr, &current, &position);
        if (f == kNull) break;
        found.push_back(f);
    }
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front(), a1);
    EXPECT_LT(found.size(), 10u);

    // Owner links that loop without reaching the root.
    VRDentity x = form("X"), y = form("Y");
    VRDentity ax = child(x, "A");
    ASSERT_EQ(VRDformSetOwner(x, y), 0);
    ASSERT_EQ(VRDformSetOwner(y, x), 0);
    current = x;
    position = 0;
    VRDentity other = form("Z");
    EXPECT_EQ(VRDformFindUnder(other, a, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(current, other);

    // An owner chain that ends before the root starts again from the root.
    VRDentity r2 = form("R");
    VRDentity a4 = child(r2, "A");
    current = x;
    ASSERT_EQ(VRDformSetOwner(x, kNull), 0);
    position = 0;
    EXPECT_EQ(VRDformFindUnder(r2, a, 0, nullptr, &current, &position), a4);
    EXPECT_EQ(current, r2);
    (void)ax;
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindOverClimbsTheOwners) {
    uint32_t a = key("A");
    VRDentity top = form("A");
    VRDentity mid = form("A", top);
    VRDentity low = form("B", mid);
    VRDentity leaf = form("A", low);
    add(top, {integer(1)});
    EXPECT_EQ(VRDformFindOver(leaf, a, 0, nullptr), mid);  // the form itself is never a candidate
    VRDentity one = integer(1);
    EXPECT_EQ(VRDformFindOver(leaf, a, 1, &one), top);
    EXPECT_EQ(VRDformFindOver(top, a, 0, nullptr), kNull);
    EXPECT_EQ(VRDformFindOver(leaf, key("C"), 0, nullptr), kNull);
    // A loop of owners is climbed once around and ends.
    ASSERT_EQ(VRDformSetOwner(top, leaf), 0);
    EXPECT_EQ(VRDformFindOver(leaf, key("C"), 0, nullptr), kNull);
    EXPECT_EQ(VRDformFindOver(VRDentity{0x80000000u | 4000, 0}, a, 0, nullptr), kNull);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindEntityVisitsEveryLivePositionOnceAndResumesAtTheSlot) {
    VRDentity t = integer(42);
    VRDentity f0 = form("A"), f1 = form("A"), f2 = form("B"), f3 = form("B"), dead = form("B");
    add(f0, {t});
    add(f1, {integer(1), t, t});
    add(f2, {integer(1)});
    add(f3, {t, integer(2), t});
    add(dead, {t, t});
    ASSERT_EQ(VRDformKill(dead, 0, 0), 0);

    uint32_t keyCursor = VRD_NO_KEY, position = 99;
    int32_t formCursor = 99;
    std::vector<std::pair<VRDentity, uint32_t>> hits;
    for (VRDentity f; (f = VRDformFindEntity(&keyCursor, &formCursor, &position, t)) != kNull;) {
        hits.push_back({f, position});
        EXPECT_EQ(VRDformGetEntity(f, position), t);
        EXPECT_EQ(keyCursor, f.first & 0x7FFFFFFFu);
        EXPECT_EQ(formCursor, static_cast<int32_t>(f.second));
    }
    std::vector<std::pair<VRDentity, uint32_t>> expected{{f0, 0}, {f1, 1}, {f1, 2}, {f3, 0}, {f3, 2}};
    EXPECT_EQ(hits, expected);

    // Overwriting each hit before resuming visits every position once.
    VRDentity u = integer(43);
    keyCursor = VRD_NO_KEY;
    int replaced = 0;
    for (VRDentity f; (f = VRDformFindEntity(&keyCursor, &formCursor, &position, t)) != kNull; ++replaced)
        ASSERT_EQ(VRDformSetEntity(f, position, u), 0);
    EXPECT_EQ(replaced, 5);
    keyCursor = VRD_NO_KEY;
    EXPECT_EQ(VRDformFindEntity(&keyCursor, &formCursor, &position, t), kNull);
    EXPECT_EQ(keyCursor, 2u);  // past the last key, with the other cursors at 0
    EXPECT_EQ(formCursor, 0);
    EXPECT_EQ(position, 0u);
}

TEST_F(SearchTest, WithoutAStoreEachRoutineReportsUnderItsOwnName) {
    VRDentity f = form("A");
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    takeReports();
    uint32_t position = 0, keyCursor = VRD_NO_KEY;
    int32_t cursor = 0;
    VRDentity current = kNull;
    EXPECT_EQ(VRDformFindFirst(0, 0, nullptr, nullptr), kNull);
    EXPECT_EQ(VRDformFindNext(0, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(VRDformFindIn(f, 0, 0, nullptr, &position), kNull);
    EXPECT_EQ(VRDformFindUnder(f, 0, 0, nullptr, &current, &position), kNull);
    EXPECT_EQ(VRDformFindOver(f, 0, 0, nullptr), kNull);
    EXPECT_EQ(VRDformFindEntity(&keyCursor, &cursor, &position, f), kNull);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformFindFirst", VRD_E_NOSTORE},
                                                  {"VRDformFindNext", VRD_E_NOSTORE},
                                                  {"VRDformFindIn", VRD_E_NOSTORE},
                                                  {"VRDformFindUnder", VRD_E_NOSTORE},
                                                  {"VRDformFindOver", VRD_E_NOSTORE},
                                                  {"VRDformFindEntity", VRD_E_NOSTORE}}));
}

}  // namespace
