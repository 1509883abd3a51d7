// test_plainpaths.cpp - the pools' lookups and the deferred slab copies leave every entity, list, report, dump byte
// and statistic the plain walks and plain copies leave.
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <sstream>

#include "forms/forms.h"
#include "pools/pools.h"
#include "support.h"

namespace {

using vrdtest::Rng;
using vrdtest::firstDifference;
using vrdtest::slurp;

// One run of random work.  The transcript holds everything a host can
// observe: results, entities read, reports, the statistics and the dump, at
// random points and at the end.  Index memory fails now and then when
// `indexFailSeed` is not 0; counted allocations fail `failPercent` of the steps.
class Work {
public:
    Work(uint32_t seed, uint32_t indexFailSeed, uint32_t indexPercent, uint32_t failPercent, uint32_t failSpread)
        : ops_{seed}, indexFailures_{indexFailSeed}, indexPercent_(indexPercent), failPercent_(failPercent),
          failSpread_(failSpread) {}
    virtual ~Work() = default;

    std::string run(int steps) {
        vrdtest::reports().clear();
        start();
        for (int step = 0; step < steps; ++step) {
            if (indexFailures_.state != 0 && indexFailures_.chance(indexPercent_)) heapwrapFailIndexNth(1 + indexFailures_.below(3));
            if (ops_.chance(failPercent_)) heapwrapFailNth(failSpread_ == 1 ? 1 : 1 + ops_.below(failSpread_));
            one();
            heapwrapFailNth(0);
            takeReports();
            out_ << '\n';
        }
        heapwrapFailIndexNth(0);
        finish();
        observeWhole(false);
        takeReports();
        return out_.str();
    }

protected:
    virtual void start() {}
    virtual void one() = 0;
    virtual void finish() {}
    void takeReports() {
        for (const vrdtest::Report &r : vrdtest::reports()) out_ << " report " << r.routine << r.code;
        vrdtest::reports().clear();
    }
    // The statistics and the dump; when asked, the dump read back over the
    // store, which drops whatever waits with the slabs it replaces.
    void observeWhole(bool readBack) {
        out_ << vrdtest::statisticsReport();
        std::string path = vrdtest::scratchPath("work.bin");
        std::remove(path.c_str());
        out_ << " dump " << VRDfileWriteBinary(path.c_str()) << ' ' << slurp(path);
        if (readBack) out_ << " read " << VRDfileReadBinary(path.c_str());
        std::remove(path.c_str());
    }

    Rng ops_, indexFailures_;
    const uint32_t indexPercent_, failPercent_, failSpread_;
    std::ostringstream out_;
};

// Random values for every pool, drawn so that the pools' corners come up:
// texts of few letters (crowded buckets, shared prefixes, high bytes),
// keywords sharing first letters, reals that merge within DBL_EPSILON,
// repeated big integers, and coordinates and points whose buckets hold
// values 2^31 apart, where the wrapping order lets the walk miss a value.
class PoolWork : public Work {
public:
    PoolWork(uint32_t seed, uint32_t indexFailSeed) : Work(seed, indexFailSeed, 4, 1, 1) {}

private:
    void entity(int32_t result, VRDentity e) { out_ << ' ' << result << ':' << e.first << '/' << e.second; }
    std::string text() {
        if (!texts_.empty() && ops_.chance(40)) return texts_[ops_.below(uint32_t(texts_.size()))];
        static const char letters[] = "abAB01_\xE9\x81z";
        std::string t(ops_.below(12), ' ');
        for (char &c : t) c = letters[ops_.below(sizeof letters - 1)];
        texts_.push_back(t);
        return t;
    }
    int32_t coordinate() {
        if (!coords_.empty() && ops_.chance(30)) {
            int32_t v = coords_[ops_.below(uint32_t(coords_.size()))];
            return ops_.chance(30) ? static_cast<int32_t>(static_cast<uint32_t>(v) ^ 0x80000000u) : v;
        }
        int32_t v = ops_.chance(70) ? static_cast<int32_t>(ops_.below(4000)) - 2000 : static_cast<int32_t>(ops_.next() << 1);
        coords_.push_back(v);
        return v;
    }
    double real() {
        switch (ops_.below(6)) {
        case 0: return (static_cast<int>(ops_.below(64)) - 32) * (DBL_EPSILON / 3);
        case 1: return 1.0 + (static_cast<int>(ops_.below(16)) - 8) * (DBL_EPSILON / 4);
        case 2: return 2.0 - ops_.below(4) * DBL_EPSILON;
        case 3: return ops_.chance(5) ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
        default: return static_cast<double>(ops_.below(3000)) / 8.0 - 100.0;
        }
    }

    void one() override {
        VRDentity e{};
        uint32_t what = ops_.below(100);
        if (what < 22) {
            std::string t = text();
            entity(ops_.chance(50) ? VRDstringCreate(t.c_str(), &e) : VRDidCreate(t.c_str(), &e), e);
        } else if (what < 28) {
            std::string t = text();
            entity(0, ops_.chance(50) ? VRDstringFind(t.c_str()) : VRDidFind(t.c_str()));
        } else if (what < 36) {
            static const char *const stems[] = {"C", "CELL", "CUT", "\xC3", "P", "PATH"};
            std::string k = std::string(stems[ops_.below(6)]) + std::to_string(ops_.below(300));
            uint32_t key = 0;
            if (ops_.chance(30))
                out_ << " find " << VRDkeyFind(k.c_str());
            else
                out_ << " key " << VRDkeyCreate(k.c_str(), &key) << ':' << key;
        } else if (what < 46) {
            int32_t v = ops_.chance(80) ? 200000000 + 7 * static_cast<int32_t>(ops_.below(2000)) : static_cast<int32_t>(ops_.next());
            entity(VRDintCreate(ops_.chance(5) ? INT_MIN : v, &e), e);
        } else if (what < 56) {
            entity(VRDrealCreate(real(), &e), e);
        } else if (what < 68) {
            out_ << " x " << newxcoord(coordinate()) << " y " << newycoord(coordinate());
        } else if (what < 82) {
            entity(newpoint(coordinate(), coordinate(), &e), e);
        } else if (what < 92) {
            entity(VRDpointCreate(coordinate(), coordinate(), &e), e);
        } else if (what < 97) {
            entity(0, VRDpointFind(coordinate(), coordinate()));
        } else {
            observeWhole(ops_.chance(60));
        }
    }

    std::vector<std::string> texts_;
    std::vector<int32_t> coords_;
};

// Random interleavings of appends, inserts, deletes, reads, sets, kills,
// clears, copies and dumps across forms of three keys.
class SlabWork : public Work {
public:
    SlabWork(uint32_t seed, uint32_t indexFailSeed) : Work(seed, indexFailSeed, 5, 2, 3) {}

private:
    void start() override {
        for (const char *k : {"AA", "BB", "CC"})
            for (int i = 0; i < 3; ++i) forms_.push_back(create(k, VRDnullEntity()));
        current_ = forms_[0];
    }
    void finish() override {
        for (VRDentity f : forms_) list(f);
    }
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
    void one() override {
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

    std::vector<VRDentity> forms_;
    VRDentity current_{};
};

class PlainPaths : public vrdtest::StoreTest {
protected:
    void TearDown() override {
        vrd::usePlainPaths = false;
        heapwrapFailIndexNth(0);
        StoreTest::TearDown();
    }
    // The only store, fresh, taking the plain paths or the fast ones until the next call below.
    static void freshStore(bool plain, const char *name) {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        vrd::usePlainPaths = plain;
        EXPECT_NE(VRDnew(name), nullptr);
    }
    // The store's dump, every slot, then its statistics; the fast paths are back on.
    static std::string dumpAndStatistics(const char *name) {
        std::string path = vrdtest::scratchPath(name);
        std::remove(path.c_str());
        EXPECT_EQ(VRDfileWriteBinary(path.c_str()), 0);
        std::string bytes = slurp(path) + vrdtest::statisticsReport();
        std::remove(path.c_str());
        vrd::usePlainPaths = false;
        return bytes;
    }
    template <typename W> static std::string transcript(uint32_t seed, bool plain, uint32_t indexFailSeed, int steps) {
        freshStore(plain, "work");
        std::string t = W(seed, indexFailSeed).run(steps);
        vrd::usePlainPaths = false;
        return t;
    }
    // Each seed's work gives the plain transcript on the fast paths, also
    // while their index memory fails now and then; only the fast paths take
    // index memory.
    template <typename W> static void expectPlainTranscripts(std::initializer_list<uint32_t> seeds, int steps,
                                                             uint32_t failFactor, long minIndexCalls) {
        for (uint32_t seed : seeds) {
            long indexCalls = heapwrapIndexCalls();
            std::string plain = transcript<W>(seed, true, 0, steps);
            EXPECT_EQ(heapwrapIndexCalls(), indexCalls) << "the plain paths take no index memory";
            std::string fast = transcript<W>(seed, false, 0, steps);
            EXPECT_GT(heapwrapIndexCalls(), indexCalls + minIndexCalls) << "the fast paths were taken";
            ASSERT_EQ(firstDifference(fast, plain), "") << "seed " << seed;
            ASSERT_EQ(firstDifference(transcript<W>(seed, false, seed * failFactor, steps), plain), "")
                << "seed " << seed << ", index failures";
        }
    }
};

// Random values into every pool, with dumps read back over the store and
// failed allocations: the lookups give every entity, key, report, chain and
// statistic the walks give.
TEST_F(PlainPaths, RandomValuesMatchThePlainWalks) { expectPlainTranscripts<PoolWork>({11u, 12u, 13u}, 12000, 31, 20); }

// Random work across forms of three keys: deferred copies make the same
// counted allocation calls and leave everything the same.
TEST_F(PlainPaths, RandomWorkMatchesPlainCopies) { expectPlainTranscripts<SlabWork>({1u, 2u, 3u, 4u, 5u, 6u}, 3000, 7919, 10); }

// Values 2^31 apart in one bucket defeat the wrapping order: the walk stops
// before a stored value and interns it a second time.  With the lookups
// built (enough values elsewhere), the very same happens, in the coordinate
// tables and in the point table.
TEST_F(PlainPaths, ValuesHalfTheRangeApartAreMissedAsTheWalkMissesThem) {
    const int32_t m = INT_MIN + 1;  // 2^31 - 1 below 0, and so 2^31 + 4 from 5
    for (bool plain : {true, false}) {
        freshStore(plain, "corner");
        for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(newxcoord(64 * (i + 1)), i);  // buckets 1 to 100
        // Bucket 0 runs m, 0 after two values; 5 then goes to the head, since m - 5 wraps to positive.
        EXPECT_TRUE(newxcoord(0) == 100 && newxcoord(m) == 101 && newxcoord(5) == 102) << plain;
        EXPECT_EQ(newxcoord(0), 103) << "the walk stops at 5 and interns 0 again";
        EXPECT_TRUE(newxcoord(0) == 103 && newxcoord(64) == 0) << plain;
        // The same moves in one point bucket, y making up for x's move; 100 points elsewhere first.
        VRDentity e{};
        uint32_t bucket = vrd::pointBucket(0, 0);
        std::vector<std::pair<int32_t, int32_t>> elsewhere;
        for (int32_t i = 0; elsewhere.size() < 100; ++i)
            if (vrd::pointBucket(i + 1000, 1000 * i) != bucket) elsewhere.emplace_back(i + 1000, 1000 * i);
        for (auto [px, py] : elsewhere) ASSERT_EQ(newpoint(px, py, &e), 0);
        int32_t y = 0;
        while (vrd::pointBucket(m, y) != bucket) y += 64;
        ASSERT_EQ(vrd::pointBucket(5, 0), bucket);
        auto table = [&](int32_t px, int32_t py) {
            EXPECT_EQ(newpoint(px, py, &e), 0);
            return e.second & 0x3FFFFFFu;
        };
        EXPECT_TRUE(table(0, 0) == 100 && table(m, y) == 101 && table(5, 0) == 102) << plain;
        EXPECT_EQ(table(0, 0), 103u) << plain;
        EXPECT_TRUE(table(0, 0) == 103 && table(elsewhere[0].first, elsewhere[0].second) == 0) << plain;
        EXPECT_EQ(VRDpointFind(0, 0), (VRDentity{0x40000000u, 0x3C000000u | 103})) << plain;
        EXPECT_TRUE(takeReports().empty());
    }
}

// Each lookup lists every value of its pool in at most four slots, 16 bytes, a value.
TEST_F(PlainPaths, HashesHoldAtMostSixteenBytesPerValue) {
    VRDentity e{};
    uint32_t key = 0;
    for (int32_t i = 0; i < 70000; ++i) {
        std::string text = "text " + std::to_string(i);
        vrdtest::expectOk({VRDintCreate(200000000 + i, &e), VRDrealCreate(i + 0.5, &e),
                           VRDstringCreate(text.c_str(), &e), newpoint(i, -i, &e)});
        if (i < 30000) { ASSERT_EQ(newxcoord(i), i); }
        if (i < 5000) { ASSERT_EQ(VRDkeyCreate(("KEY" + std::to_string(i)).c_str(), &key), 0); }
    }
    using vrd::PoolLookup;
    const std::pair<PoolLookup, uint32_t> lookups[] = {{PoolLookup::Bigints, 70000}, {PoolLookup::Reals, 70000},
                                                       {PoolLookup::Strings, 70000}, {PoolLookup::Keywords, 5000},
                                                       {PoolLookup::Xcoords, 30000}, {PoolLookup::Points, 70000}};
    for (auto [which, values] : lookups) {
        vrd::LookupSize size = vrd::lookupSize(store, which);
        EXPECT_EQ(size.entries, values) << int(which);
        EXPECT_LE(size.bytes, 16u * values) << int(which);
    }
}

// 120,000 entities appended 50 at a time to one form (now and then to another form of its key):
// every slot of the dump, free and stale ones included, is what a copy per append leaves.
TEST_F(PlainPaths, LongBatchedAppendsLeaveTheSameSlab) {
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
TEST_F(PlainPaths, LongFreeListsLeaveTheSameSlab) {
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
