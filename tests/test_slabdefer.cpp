// test_slabdefer.cpp - appends whose copy waits leave every list, report, dump byte and statistic as plain copies do.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "forms/forms.h"
#include "support.h"

namespace {

using vrdtest::Rng;
using vrdtest::firstDifference;
using vrdtest::slurp;

// One run of random work on forms of three keys.  The transcript holds
// everything a host can observe: results, entities read, reports, the
// statistics and the dump, at random points and at the end.
class Work {
public:
    Work(uint32_t seed, uint32_t indexFailSeed) : ops_{seed}, indexFailures_{indexFailSeed} {}

    std::string run(int steps) {
        vrdtest::reports().clear();
        for (const char *k : {"AA", "BB", "CC"})
            for (int i = 0; i < 3; ++i) forms_.push_back(create(k, VRDnullEntity()));
        current_ = forms_[0];
        for (int step = 0; step < steps; ++step) {
            if (indexFailures_.state != 0 && indexFailures_.chance(5)) heapwrapFailIndexNth(1 + indexFailures_.below(3));
            bool failing = ops_.chance(2);
            if (failing) heapwrapFailNth(1 + ops_.below(3));
            one();
            heapwrapFailNth(0);
            takeReports();
            out_ << '\n';
        }
        heapwrapFailIndexNth(0);
        for (VRDentity f : forms_) list(f);
        observeWhole();
        takeReports();
        return out_.str();
    }

private:
    VRDentity create(const char *keyword, VRDentity owner) {
        VRDentity f{};
        out_ << " create " << VRDformAddForm(owner, 0xFFFFFFFF, VRD_NO_KEY, keyword, &f);
        return f;
    }
    VRDentity pick() { return forms_[ops_.below(static_cast<uint32_t>(forms_.size()))]; }
    // Entities to add: small integers, now and then a form (which sets holdsForms).
    std::vector<VRDentity> batch(uint32_t n) {
        std::vector<VRDentity> b(n);
        for (VRDentity &e : b) {
            if (ops_.chance(3)) {
                e = pick();
            } else if (VRDintCreate(static_cast<int32_t>(ops_.below(100000)), &e) != 0) {
                e = VRDnullEntity();
            }
        }
        return b;
    }
    void list(VRDentity f) {
        uint32_t count = 0;
        const VRDentity *p = VRDformGetPtrEntities(f, &count);
        out_ << " list " << count << ':';
        for (uint32_t i = 0; p != nullptr && i < count; ++i) out_ << ' ' << p[i].first << '/' << p[i].second;
    }
    // The statistics and the dump; now and then the dump read back over the
    // store, which drops whatever waits with the slabs it replaces.
    void observeWhole(bool readBack = false) {
        out_ << vrdtest::statisticsReport();
        std::string path = vrdtest::scratchPath("slabdefer.bin");
        std::remove(path.c_str());
        out_ << " dump " << VRDfileWriteBinary(path.c_str()) << ' ' << slurp(path);
        if (readBack) out_ << " read " << VRDfileReadBinary(path.c_str());
        std::remove(path.c_str());
    }
    void takeReports() {
        for (const vrdtest::Report &r : vrdtest::reports()) out_ << " report " << r.routine << r.code;
        vrdtest::reports().clear();
    }
    void one() {
        uint32_t what = ops_.below(100);
        if (what < 40) {  // appends, mostly to one form in a row, as a reader hands its batches over
            if (ops_.chance(15)) current_ = pick();
            std::vector<VRDentity> b = batch(1 + ops_.below(60));
            uint32_t position = ops_.chance(50) ? 0xFFFFFFFF : VRDformEntityCount(current_);
            out_ << " append " << VRDformAddEntities(current_, position, uint32_t(b.size()), b.data());
        } else if (what < 48) {
            VRDentity f = pick();
            std::vector<VRDentity> b = batch(1 + ops_.below(8));
            uint32_t at = ops_.below(VRDformEntityCount(f) + 1);
            out_ << " insert " << VRDformAddEntities(f, at, uint32_t(b.size()), b.data());
        } else if (what < 56) {
            VRDentity f = pick();
            uint32_t c = VRDformEntityCount(f), at = ops_.chance(20) ? 0xFFFFFFFF : ops_.below(c + 1);
            uint32_t n = at == 0xFFFFFFFF ? 1 : ops_.below(c - std::min(c, at) + 1);
            out_ << " delete " << VRDformDeleteEntities(f, at, n);
        } else if (what < 66) {
            VRDentity f = ops_.chance(50) ? current_ : pick();
            uint32_t c = VRDformEntityCount(f), at = ops_.below(c + 1);
            VRDentity e = VRDformGetEntity(f, at), buffer[16];
            out_ << " get " << e.first << '/' << e.second << ' ' << VRDentityGetPosition(f, e);
            uint32_t got = VRDformGetEntities(at, 16, f, buffer);
            for (uint32_t i = 0; i < got; ++i) out_ << ' ' << buffer[i].first;
        } else if (what < 70) {
            list(ops_.chance(50) ? current_ : pick());
        } else if (what < 74) {
            VRDentity f = pick();
            uint32_t c = VRDformEntityCount(f);
            if (c != 0) out_ << " set " << VRDformSetEntity(f, ops_.below(c), batch(1)[0]);
        } else if (what < 77) {
            out_ << " kill " << VRDformKill(pick(), ops_.chance(50), ops_.chance(50));
        } else if (what < 83) {
            const char *keys[] = {"AA", "BB", "CC"};
            forms_.push_back(create(keys[ops_.below(3)], ops_.chance(50) ? pick() : VRDnullEntity()));
        } else if (what < 86) {
            out_ << " clear " << VRDformClear(pick());
        } else if (what < 89) {  // a flat form: deep copies of shared sub-forms would multiply
            VRDentity source = pick(), copy{};
            uint32_t count = 0;
            const VRDentity *p = VRDformGetPtrEntities(source, &count);
            for (uint32_t i = 0; p != nullptr && i < count; ++i)
                if (vrd::isForm(p[i])) return;
            out_ << " copy " << VRDformCopy(source, VRDnullEntity(), VRD_NO_KEY, "BB", &copy);
            if (vrd::hasTag(copy)) forms_.push_back(copy);
        } else if (what < 90) {
            observeWhole(ops_.chance(50));
        } else {
            out_ << " count " << VRDformEntityCount(pick());
        }
    }

    Rng ops_, indexFailures_;
    std::vector<VRDentity> forms_;
    VRDentity current_{};
    std::ostringstream out_;
};

class SlabDeferral : public vrdtest::StoreTest {
protected:
    void TearDown() override {
        vrd::usePlainPaths = false;
        heapwrapFailIndexNth(0);
        StoreTest::TearDown();
    }
    // The only store, fresh, taking plain copies or deferred ones until the next call below.
    static void freshStore(bool plain, const char *name) {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        vrd::usePlainPaths = plain;
        EXPECT_NE(VRDnew(name), nullptr);
    }
    // The store's dump, every slot, then its statistics; deferred copies are back on.
    static std::string dumpAndStatistics(const char *name) {
        std::string path = vrdtest::scratchPath(name);
        std::remove(path.c_str());
        EXPECT_EQ(VRDfileWriteBinary(path.c_str()), 0);
        std::string bytes = slurp(path) + vrdtest::statisticsReport();
        std::remove(path.c_str());
        vrd::usePlainPaths = false;
        return bytes;
    }
    // The transcript of the seed's work, with random index-memory failures when `indexFailSeed` is not 0.
    std::string transcript(uint32_t seed, bool plain, uint32_t indexFailSeed, int steps) {
        freshStore(plain, "work");
        std::string t = Work(seed, indexFailSeed).run(steps);
        vrd::usePlainPaths = false;
        return t;
    }
};

// Random interleavings of appends, inserts, deletes, reads, sets, kills,
// clears, copies, dumps and failed allocations across forms of three keys:
// deferred copies (also while their index memory fails now and then) make
// the same counted allocation calls and leave everything the same.
TEST_F(SlabDeferral, RandomWorkMatchesPlainCopies) {
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        long indexCalls = heapwrapIndexCalls();
        std::string plain = transcript(seed, true, 0, 3000);
        EXPECT_EQ(heapwrapIndexCalls(), indexCalls) << "plain copies take no index memory";
        std::string deferred = transcript(seed, false, 0, 3000);
        EXPECT_GT(heapwrapIndexCalls(), indexCalls + 10) << "appends were deferred";
        ASSERT_EQ(firstDifference(deferred, plain), "") << "seed " << seed;
        ASSERT_EQ(firstDifference(transcript(seed, false, seed * 7919, 3000), plain), "") << "seed " << seed << ", index failures";
    }
}

// 120,000 entities appended 50 at a time to one form (now and then to another form of its key):
// every slot of the dump, free and stale ones included, is what a copy per append leaves.
TEST_F(SlabDeferral, LongBatchedAppendsLeaveTheSameSlab) {
    auto build = [&](bool plain) {
        freshStore(plain, "wide");
        VRDentity form{}, other{}, batch[50];
        EXPECT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "WIDE", &form), 0);
        EXPECT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "WIDE", &other), 0);
        for (uint32_t i = 0; i < 120000; i += 50) {
            for (uint32_t j = 0; j < 50; ++j) batch[j] = VRDentity{0x18000000u | (i + j), 0};
            EXPECT_EQ(VRDformAddEntities(i % 20000 == 15000 ? other : form, 0xFFFFFFFF, 50, batch), 0);
        }
        return dumpAndStatistics("wide.bin");
    };
    std::string plain = build(true);
    ASSERT_GT(plain.size(), 960000u);
    long indexCalls = heapwrapIndexCalls();
    EXPECT_EQ(firstDifference(build(false), plain), "");
    EXPECT_GT(heapwrapIndexCalls(), indexCalls) << "the appends were deferred";
}

// Many forms of one key growing in turn, with deletes, clears and kills:
// the key's free list grows to hundreds of blocks, so first fit answers
// from its packed mirror; with the mirror (and with its index memory failing
// now and then) every slot of the dump and the statistics are those of the
// walk over the list.
TEST_F(SlabDeferral, LongFreeListsLeaveTheSameSlab) {
    auto build = [&](bool plain, uint32_t indexFailSeed) {
        freshStore(plain, "free");
        Rng ops{7}, failures{indexFailSeed};
        std::vector<VRDentity> forms(300);
        for (VRDentity &f : forms) EXPECT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "VIEW", &f), 0);
        VRDentity batch[64];
        for (uint32_t j = 0; j < 64; ++j) batch[j] = VRDentity{0x18000000u | j, 0};
        std::ostringstream out;
        for (int step = 0; step < 20000; ++step) {
            if (failures.state != 0 && failures.chance(3)) heapwrapFailIndexNth(1 + failures.below(3));
            VRDentity f = forms[ops.below(300)];
            uint32_t what = ops.below(100), count = VRDformEntityCount(f);
            if (what < 80)
                out << VRDformAddEntities(f, ops.chance(80) ? 0xFFFFFFFF : ops.below(count + 1), 2 + ops.below(60), batch);
            else if (what < 95 && count > 0)
                out << VRDformDeleteEntities(f, ops.below(count), 1 + ops.below(count));
            else if (what < 98)
                out << VRDformClear(f);
            else
                out << VRDformKill(f, 0, 0) << VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "VIEW", &f);
        }
        heapwrapFailIndexNth(0);
        return out.str() + dumpAndStatistics("free.bin");
    };
    std::string plain = build(true, 0);
    ASSERT_GT(plain.size(), 100000u);
    long indexCalls = heapwrapIndexCalls();
    EXPECT_EQ(firstDifference(build(false, 0), plain), "");
    EXPECT_GT(heapwrapIndexCalls(), indexCalls) << "first fit used the mirror";
    EXPECT_EQ(firstDifference(build(false, 11), plain), "") << "index failures";
}

}  // namespace
