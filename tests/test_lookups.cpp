// test_lookups.cpp - the pools' lookups give what the plain walks give: entities, reports, chains, dumps, statistics.
#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "pools/pools.h"
#include "support.h"

namespace {

using vrdtest::Rng;
using vrdtest::firstDifference;
using vrdtest::slurp;

// Random values for every pool, drawn so that the pools' corners come up:
// texts of few letters (crowded buckets, shared prefixes, high bytes),
// keywords sharing first letters, reals that merge within DBL_EPSILON,
// repeated big integers, and coordinates and points whose buckets hold
// values 2^31 apart, where the wrapping order lets the walk miss a value.
class Work {
public:
    Work(uint32_t seed, uint32_t indexFailSeed) : ops_{seed}, indexFailures_{indexFailSeed} {}

    std::string run(int steps) {
        vrdtest::reports().clear();
        for (int step = 0; step < steps; ++step) {
            if (indexFailures_.state != 0 && indexFailures_.chance(4)) heapwrapFailIndexNth(1 + indexFailures_.below(3));
            if (ops_.chance(1)) heapwrapFailNth(1);
            one();
            heapwrapFailNth(0);
            takeReports();
            out_ << '\n';
        }
        heapwrapFailIndexNth(0);
        observeWhole(false);
        takeReports();
        return out_.str();
    }

private:
    void takeReports() {
        for (const vrdtest::Report &r : vrdtest::reports()) out_ << " report " << r.routine << r.code;
        vrdtest::reports().clear();
    }
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

    void one() {
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

    // The statistics, the dump, and (when asked) the dump read back over the store.
    void observeWhole(bool readBack) {
        out_ << vrdtest::statisticsReport();
        std::string path = vrdtest::scratchPath("lookups.bin");
        std::remove(path.c_str());
        out_ << " dump " << VRDfileWriteBinary(path.c_str()) << ' ' << slurp(path);
        if (readBack) out_ << " read " << VRDfileReadBinary(path.c_str());
        std::remove(path.c_str());
    }

    Rng ops_, indexFailures_;
    std::vector<std::string> texts_;
    std::vector<int32_t> coords_;
    std::ostringstream out_;
};

class Lookups : public vrdtest::StoreTest {
protected:
    void TearDown() override {
        vrd::usePlainPaths = false;
        heapwrapFailIndexNth(0);
        StoreTest::TearDown();
    }
    std::string transcript(uint32_t seed, bool plain, uint32_t indexFailSeed, int steps) {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        vrd::usePlainPaths = plain;
        EXPECT_NE(VRDnew("work"), nullptr);
        std::string t = Work(seed, indexFailSeed).run(steps);
        vrd::usePlainPaths = false;
        return t;
    }
};

// Random values into every pool, with dumps read back over the store and
// failed allocations: the lookups (also while their memory fails now and
// then) give every entity, key, report, chain and statistic the walks give.
TEST_F(Lookups, RandomValuesMatchThePlainWalks) {
    for (uint32_t seed : {11u, 12u, 13u}) {
        long indexCalls = heapwrapIndexCalls();
        std::string plain = transcript(seed, true, 0, 12000);
        EXPECT_EQ(heapwrapIndexCalls(), indexCalls) << "plain walks take no index memory";
        std::string looked = transcript(seed, false, 0, 12000);
        EXPECT_GT(heapwrapIndexCalls(), indexCalls + 20) << "the lookups were built";
        ASSERT_EQ(firstDifference(looked, plain), "") << "seed " << seed;
        ASSERT_EQ(firstDifference(transcript(seed, false, seed * 31, 12000), plain), "") << "seed " << seed << ", index failures";
    }
}

// Values 2^31 apart in one bucket defeat the wrapping order: the walk stops
// before a stored value and interns it a second time.  With the lookups
// built (enough values elsewhere), the very same happens, in the coordinate
// tables and in the point table.
TEST_F(Lookups, ValuesHalfTheRangeApartAreMissedAsTheWalkMissesThem) {
    const int32_t m = INT_MIN + 1;  // 2^31 - 1 below 0, and so 2^31 + 4 from 5
    for (bool plain : {true, false}) {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        vrd::usePlainPaths = plain;
        ASSERT_NE(VRDnew("corner"), nullptr);
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
TEST_F(Lookups, HashesHoldAtMostSixteenBytesPerValue) {
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

}  // namespace
