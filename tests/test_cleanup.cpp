// test_cleanup.cpp - operations that make or kill several forms leave the store as it was when memory runs out.
#include "forms/forms.h"
#include "support.h"

namespace {

using vrdtest::Report;
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

}  // namespace
