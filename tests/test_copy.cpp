// test_copy.cpp - deep copies, entity-range copies, keywords and key tests, re-keying, a million-level chain;
// pattern search by key, in a list, down the tree and up the owners, and the reference walk.
#include <tuple>
#include <utility>

#include "support.h"

namespace {

using Reports = std::vector<vrdtest::Report>;
using List = std::vector<VRDentity>;
const VRDentity kNull{0, 0};
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
