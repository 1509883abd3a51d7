// test_search.cpp - pattern search by key, in a list, down the tree, up the owners, and by entity.
#include <tuple>
#include <utility>

#include "support.h"

namespace {

using vrdtest::Report;
using List = std::vector<VRDentity>;
using Step = std::pair<VRDentity, uint32_t>;  // a find and where it left the cursor
const VRDentity kNull{0, 0};

class SearchTest : public vrdtest::TreeTest {};

int offered = 0, acceptAt = -1;  // candidates offered so far; the one to accept
int32_t VRD_CALL acceptNth(VRDentity) { return offered++ == acceptAt ? 1 : 0; }

TEST_F(SearchTest, FindFirstAndFindNextTakeLiveFormsInIndexOrderByPattern) {
    uint32_t a = key("A");
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), kNull);  // a key without forms
    VRDentity s{}, id{}, two = integer(2), five = integer(5);
    ASSERT_EQ(VRDstringCreate("x", &s), 0);
    ASSERT_EQ(VRDidCreate("x", &id), 0);
    VRDentity dead = form("A"), pair = form("A"), one = form("A"), null1 = form("A"), triple = form("A");
    VRDentity empty = form("A");
    add(pair, {s, five});
    add(one, {five});
    add(null1, {five});
    ASSERT_EQ(VRDformSetEntity(null1, 0, kNull), 0);  // a lone null entity
    add(triple, {two, five, integer(9)});
    ASSERT_EQ(VRDformKill(dead, 0, 0), 0);
    auto all = [&](List pattern) {
        List found;
        int32_t cursor = 0;
        auto n = static_cast<uint32_t>(pattern.size());
        for (VRDentity f; (f = VRDformFindNext(a, n, pattern.data(), &cursor)) != kNull;) found.push_back(f);
        return found;
    };
    EXPECT_EQ(all({}), (List{pair, one, null1, triple, empty}));  // the killed form is passed over
    EXPECT_EQ(all({kNull, five}), (List{pair, triple}));
    EXPECT_EQ(all({kNull}), (List{pair, null1, triple}));  // a lone null takes a lone entity only if null
    EXPECT_EQ(all({s}), List{pair});  // both words count: a string is no identifier
    EXPECT_EQ(all({id}), List{});
    EXPECT_EQ(all({two, five, integer(9), kNull}), List{});  // longer than any list
    VRDentity second5[2] = {kNull, five};
    offered = 0, acceptAt = 1;
    EXPECT_EQ(VRDformFindFirst(a, 2, second5, acceptNth), triple);
    EXPECT_EQ(offered, 2);  // pair offered and refused first
    // FindNext rests one past each find, then at formCount + 1, and counts on from there.
    int32_t cursor = -3;  // before the first form: start there
    for (auto [found, after] : {std::pair{triple, 5}, {kNull, 7}, {kNull, 8}}) {
        EXPECT_EQ(VRDformFindNext(a, 1, &two, &cursor), found);
        EXPECT_EQ(cursor, after);
    }
    EXPECT_TRUE(takeReports().empty());
}

// root lists (b1, 7, a1); b1 lists (a2, c); c lists a3; a1 lists (an A form, 3).
TEST_F(SearchTest, FindInScansOneListAndFindUnderGoesDepthFirstWithoutEnteringFinds) {
    uint32_t a = key("A"), cursor = 0, position = 77;
    VRDentity root = form("R"), current = kNull, three = integer(3), b1 = child(root, "B");
    add(root, {integer(7)});
    VRDentity a1 = child(root, "A"), a2 = child(b1, "A"), c = child(b1, "C"), a3 = child(c, "A");
    child(a1, "A");  // inside a form of the searched key: never found below the root
    add(a1, {three});
    auto in = [&](VRDentity f, List pattern, uint32_t from) {
        cursor = from;
        VRDentity found = VRDformFindIn(f, a, static_cast<uint32_t>(pattern.size()), pattern.data(), &cursor);
        return Step(found, cursor);
    };
    EXPECT_EQ(in(b1, {}, 0), Step(a2, 1));
    EXPECT_EQ(in(root, {}, 1), Step(a1, 3));
    EXPECT_EQ(in(root, {three}, 0), Step(kNull, 3));
    auto under = [&](VRDentity top) {
        VRDentity found = VRDformFindUnder(top, a, 0, nullptr, &current, &position);
        return std::pair(found, Step(current, position));
    };
    // Each find leaves (holder, position); the end leaves (root, its count).
    EXPECT_EQ(under(root), std::pair(a2, Step(b1, 0)));
    EXPECT_EQ(under(root), std::pair(a3, Step(c, 0)));
    EXPECT_EQ(under(root), std::pair(a1, Step(root, 2)));
    EXPECT_EQ(under(root), std::pair(kNull, Step(root, 3)));
    current = b1, position = 0;  // short of memory for its walk: nothing found or reported, cursor kept
    heapwrapFailNth(1);
    EXPECT_EQ(under(root), std::pair(kNull, Step(b1, 0)));
    heapwrapFailNth(0);
    EXPECT_EQ(under(root).first, a3);
    // Inconsistent trees still end each search: b1 lists itself and the root; a cursor's owners loop.
    add(b1, {b1, root});
    current = kNull;
    EXPECT_EQ(VRDformFindUnder(root, key("Q"), 0, nullptr, &current, &position), kNull);
    VRDentity x = form("X"), y = form("Y");
    ASSERT_EQ(VRDformSetOwner(x, y), 0);
    ASSERT_EQ(VRDformSetOwner(y, x), 0);
    current = x, position = 0;
    EXPECT_EQ(VRDformFindUnder(form("Z"), a, 0, nullptr, &current, &position), kNull);
    // An unresolvable form is refused by FindIn in check mode, passed over quietly without; the cursor stays.
    EXPECT_EQ(in(VRDentity{root.first, 99}, {}, 2), Step(kNull, 2));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformFindIn", VRD_E_BADFORM}}));
    VRDsetCheck(0);
    EXPECT_EQ(in(VRDentity{root.first, 99}, {}, 2), Step(kNull, 2));
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(SearchTest, FindEntityVisitsEveryLivePositionOnceAndResumesAtTheSlot) {
    VRDentity t = integer(42), f0 = form("A"), f1 = form("A"), f2 = form("B"), dead = form("B");
    add(f0, {t});
    add(f1, {integer(1), t, t});
    add(f2, {t, integer(2), t});
    add(dead, {t, t});
    ASSERT_EQ(VRDformKill(dead, 0, 0), 0);
    uint32_t keyCursor = VRD_NO_KEY, position = 99;
    int32_t formCursor = 99;
    std::vector<Step> hits;  // bounded, should a search stall on its last hit
    for (VRDentity f; hits.size() < 8 && (f = VRDformFindEntity(&keyCursor, &formCursor, &position, t)) != kNull;) {
        hits.push_back({f, position});
        EXPECT_EQ(Step(VRDentity{0x80000000u | keyCursor, static_cast<uint32_t>(formCursor)}, position), hits.back());
    }
    EXPECT_EQ(hits, (std::vector<Step>{{f0, 0}, {f1, 1}, {f1, 2}, {f2, 0}, {f2, 2}}));
    EXPECT_EQ(std::tuple(keyCursor, formCursor, position), std::tuple(2u, 0, 0u));  // past the last key
}

TEST_F(SearchTest, FindOverClimbsTheOwnersOnceAndNothingRunsWithoutAStore) {
    uint32_t a = key("A"), position = 0;
    int32_t cursor = 0;
    VRDentity top = form("A"), mid = form("A", top), low = form("B", mid), leaf = form("A", low), one = integer(1);
    add(top, {one});
    EXPECT_EQ(VRDformFindOver(leaf, a, 0, nullptr), mid);  // the form itself is never a candidate
    EXPECT_EQ(VRDformFindOver(leaf, a, 1, &one), top);
    ASSERT_EQ(VRDformSetOwner(top, leaf), 0);  // a loop of owners is climbed once around
    EXPECT_EQ(VRDformFindOver(leaf, key("C"), 0, nullptr), kNull);
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    EXPECT_EQ(VRDformFindFirst(a, 0, nullptr, nullptr), kNull);
    EXPECT_EQ(VRDformFindNext(a, 0, nullptr, &cursor), kNull);
    EXPECT_EQ(VRDformFindIn(top, a, 0, nullptr, &position), kNull);
    EXPECT_EQ(VRDformFindUnder(top, a, 0, nullptr, &mid, &position), kNull);
    EXPECT_EQ(VRDformFindOver(leaf, a, 0, nullptr), kNull);
    EXPECT_EQ(VRDformFindEntity(&a, &cursor, &position, one), kNull);
    EXPECT_EQ(takeReports(), vrdtest::noStoreReports({"VRDformFindFirst", "VRDformFindNext", "VRDformFindIn",
                                                      "VRDformFindUnder", "VRDformFindOver", "VRDformFindEntity"}));
}

}  // namespace
