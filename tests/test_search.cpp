// test_search.cpp - pattern search by key, in a list, down the tree and up the owners; the reference walk.
#include <tuple>
#include <utility>

#include "support.h"

namespace {
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
TEST_F(SearchTest, FindInScansOneListAndFindUnderGoesDepthFirstWithoutEnteringFinds) {
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

TEST_F(SearchTest, FindEntityResumesAtTheExactSlot) {
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
