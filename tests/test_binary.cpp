// test_binary.cpp - the version-6 binary file: exact bytes, round trips, failures and hostile files; the checked dump;
// the marks the binary reader keeps runs apart with, word boundaries included.
#include <cerrno>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "frame/section.h"
#include "support.h"

using vrdtest::expectOk;
using vrdtest::Report;

namespace {

constexpr uint32_t kEnd = 0x7FFFFFFF, kNone = 0xFFFFFFFF;
constexpr std::nullopt_t kAny = std::nullopt;  // a word the file leaves open
using Bytes = std::vector<uint8_t>;

void putWord(Bytes &bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// Walks a file of a known length field by field.
struct Cursor {
    const Bytes &bytes;
    size_t at = 0;
    template <typename T = uint32_t> T next() {
        T v;
        std::memcpy(&v, bytes.data() + at, sizeof v);
        return at += sizeof v, v;
    }
    void expect(std::initializer_list<std::optional<uint32_t>> words) {
        for (std::optional<uint32_t> w : words) {
            uint32_t v = next();
            EXPECT_EQ(v, w.value_or(v)) << "at byte " << at - 4;
        }
    }
    std::string text(size_t n) { return at += n, std::string(bytes.begin() + long(at - n), bytes.begin() + long(at)); }
};

// Key 0 "A": f0 (root) holds 7, "hi", point (5,7), 2.5, 2^28, the table point (100000, 1) and f1;
// f1 holds 3; f2 is killed.  Adding f1 moved f0's run from slots 0-5 to 6-12, leaving a free block
// of 6 at 0.  Key 1 "BB": no forms.  The points (x, 0) fill the xcoord table to its last step.
struct Sample { VRDentity f0, f1, f2, list[6]; };

Sample buildSample() {
    Sample s{};
    uint32_t a, b;
    expectOk({VRDkeyCreate("A", &a), VRDkeyCreate("BB", &b)});
    for (int32_t x = 0; x < 30600; ++x) EXPECT_EQ(VRDpointCreate(x, 0, &s.list[0]), 0);
    expectOk({VRDformCreate(VRDnullEntity(), a, nullptr, &s.f0), VRDintCreate(7, &s.list[0]),
              VRDstringCreate("hi", &s.list[1]), VRDpointCreate(5, 7, &s.list[2]), VRDrealCreate(2.5, &s.list[3]),
              VRDintCreate(1 << 28, &s.list[4]), VRDpointCreate(100000, 1, &s.list[5]),
              VRDformAddEntities(s.f0, kNone, 6, s.list), VRDformAddForm(s.f0, kNone, a, nullptr, &s.f1),
              VRDformAddInt(s.f1, kNone, 3, &s.list[0]), VRDformCreate(VRDnullEntity(), a, nullptr, &s.f2),
              VRDformKill(s.f2, 0, 0)});
    return s;
}

// Where the sections of the sample's file start: T 5, K 2, X 30600, Y 2, P 1, S 7.
constexpr size_t kOffsets = 4 + 4 + 5 + 4, kChain = kOffsets + 8, kKeyRecords = kChain + 8,
                 kKeywordIndex = kKeyRecords + 72, kForms = kKeywordIndex + 512, kSlab = kForms + 3 * 28,
                 kXCount = kSlab + 13 * 8, kXNext = kXCount + 4 + 4 * 30600, kXIndex = kXNext + 2 * 30600,
                 kPointRecords = kXIndex + 2048 + 4 + 6 * 2 + 2048 + 4, kStringUsed = kPointRecords + 12 + 4076,
                 kStringText = kStringUsed + 4, kBigints = kStringText + 7 + 4096;

// What a host may do after a read: write every root, build and kill a form of every kind of entity,
// print the report.  Under the sanitizers this proves the store leads nowhere outside a block.
void exerciseStore() {
    TextChannel *out = openTextBuffer();
    VRDentity f, e;
    for (uint32_t key = 0; VRDkeyGetPtrValue(key) != nullptr; ++key)  // results vary with the damage
        for (int32_t at = 0; (f = VRDformFindNext(key, 0, nullptr, &at)).first != 0; ++at)
            VRDfileWriteEntity(out, 1, f, 1);
    closeTextFile(out);
    expectOk({VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "A", &f), VRDformAddString(f, kNone, "hi", &e),
              VRDformAddInt(f, kNone, 1 << 29, &e), VRDformAddPoint(kNone, &e, f, 123456, -9),
              VRDformAddReal(kNone, &e, f, 0.125), VRDformAddForm(f, 0, VRD_NO_KEY, "BB", &e), VRDformKill(f, 1, 0)});
    vrdtest::statisticsReport();
}

class BinaryTest : public vrdtest::StoreTest {
protected:
    std::string path = vrdtest::scratchPath("binary.bin");
    void TearDown() override { std::remove(path.c_str()); StoreTest::TearDown(); }
    Bytes written() {  // the current store as a file
        EXPECT_EQ(VRDfileWriteBinary(path.c_str()), 0);
        EXPECT_TRUE(takeReports().empty());
        return vrdtest::fileBytes(path);
    }
    // Reads `bytes` into a fresh store with key KEEP and what `fill` makes; allocation n fails.
    int32_t readIntoFreshStore(const Bytes &bytes, long failNth = 0, const std::function<void()> &fill = [] {}) {
        vrdtest::writeFile(path, bytes);
        VRDkill(VRDget(nullptr), nullptr);
        uint32_t keep;
        EXPECT_TRUE(VRDnew("target") != nullptr && VRDkeyCreate("KEEP", &keep) == 0);
        fill();
        takeReports();
        heapwrapFailNth(failNth);
        int32_t result = VRDfileReadBinary(path.c_str());
        heapwrapFailNth(0);
        return result;
    }
};

TEST_F(BinaryTest, FileHoldsEveryPoolFieldByFieldAndReadsBackEqual) {
    Sample s = buildSample();
    Bytes bytes = written();
    // The size formula: T 5, K 2, F 3*28 + 13*8, X 30600, Y 2, P 1, S 7, N 1, R 1.
    ASSERT_EQ(bytes.size(), 4u + (4 + 5 + 4 + 44 * 2 + 512 + 188) +
                                (4 + 6 * 30600 + 2048 + 4 + 6 * 2 + 2048 + 4 + 12 + 4076) + (4 + 7 + 4096) + 8 + 12);
    Cursor c{bytes};
    c.expect({6, 5});
    EXPECT_EQ(c.text(5), std::string("A\0BB\0", 5));
    // Keys: count, keyword offsets, chains, the records of A and BB, the index.
    c.expect({2, 0, 2, kEnd, kEnd, 1, 4, 3, 2, 1, 1, 1020, 13, 0, 0, 0, 0, kNone, 0, 0, 0, 0, kNone});
    for (uint32_t b = 0; b < 128; ++b) ASSERT_EQ(c.next(), b == 'A' ? 0u : b == 'B' ? 1u : kEnd) << b;
    // f0: no owner, holds a form, seven entities from slot 6; f1: owned by f0, one inline entity;
    // f2: killed, ending the chain of killed forms.  The slab: the free block at slot 0, f0's run at 6.
    c.expect({0, 0, 0, 0, (7u << 8) | 2u, 6, kAny, s.f0.first, s.f0.second, 0, 0, 1u << 8, 0x18000003, 0,
              0, 0, 0, 0, 1, kNone, kAny, kNone, 6});
    c.at += 5 * 8;
    c.expect({0x18000007, 0, 0x20000000, 0, s.list[2].first, (5u << 15) | 1, 0x30000000, 0, 0x08000000, 0,
              s.list[5].first, 0x3C000000, s.f1.first, s.f1.second});
    // Points: 30,600 x values chained 64 to a bucket, y values 0 and 7, one table point.
    ASSERT_EQ(c.next(), 30600u);
    for (uint32_t i = 0; i < 30600; ++i) ASSERT_EQ(c.next(), i);
    for (uint32_t i = 0; i < 30600; ++i) ASSERT_EQ(c.next<uint16_t>(), i % 64 == 63 || i == 30599 ? 0xFFFF : i + 1);
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.next<uint16_t>(), b <= 478 ? b * 64 : 0xFFFF) << b;
    c.expect({2, 0, 7, 0xFFFF0001});
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.next<uint16_t>(), b == 0 ? 0u : 0xFFFFu);
    c.expect({1, 100000, 1, kNone});
    for (uint32_t b = 0; b < 1019; ++b) ASSERT_EQ(c.next(), b == 543 ? 0u : kNone) << b;
    // Strings: one entry "hi" in bucket 921; then one big integer, one real.
    ASSERT_EQ(c.at, kStringUsed);
    c.expect({7});
    EXPECT_EQ(c.text(7), std::string("\xFF\xFF\xFF\xFFhi\0", 7));
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.next(), b == 921 ? 0u : kNone) << b;
    c.expect({1, 1u << 28, 1});
    EXPECT_EQ(c.next<double>(), 2.5);
    // Read into another store and written again, every pool is equal; only key A's capacities have
    // become its counts: formCapacity 3, slabCapacity 13.
    EXPECT_EQ(readIntoFreshStore(bytes), 0);
    putWord(bytes, kKeyRecords + 4, 3);
    putWord(bytes, kKeyRecords + 24, 13);
    EXPECT_TRUE(bytes == written());
    // The killed record is reused first; each pool grows from its count.
    VRDentity reused, big, f, tiny;
    expectOk({VRDformCreate(VRDnullEntity(), 0, nullptr, &reused), VRDintCreate(1 << 29, &big)});
    EXPECT_TRUE(reused == s.f2 && big == vrdtest::entity(0x08000001));
    EXPECT_NE(vrdtest::statisticsReport().find("Bigints        - 2/126 entries"), std::string::npos);
    // A smaller store written over the file leaves its tail; a reader stops at the store's own end.
    VRDkill(VRDget(nullptr), nullptr);
    ASSERT_NE(VRDnew("small"), nullptr);
    expectOk({VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "SMALL", &f), VRDformAddString(f, kNone, "tiny", &tiny)});
    const Bytes both = written();
    const long small = 4 + (4 + 6 + 4 + 44 + 512 + 28) + (4 + 2048) * 2 + 4 + (4 + 9 + 4096) + 8;
    EXPECT_TRUE(both.size() == bytes.size() && std::equal(both.begin() + small, both.end(), bytes.begin() + small));
    // The checked dump over the longer file leaves exactly its own bytes.
    EXPECT_EQ(VRDfileWriteBinaryChecked(path.c_str()), 0);
    EXPECT_TRUE(vrdtest::fileBytes(path) == Bytes(both.begin(), both.begin() + small) && takeReports().empty());
    EXPECT_EQ(readIntoFreshStore(both), 0);
    EXPECT_STREQ(VRDstringGetPtrValue(VRDformGetEntity(f, 0)), "tiny");
}

TEST_F(BinaryTest, OpenAndHeaderFailuresLeaveTheStoreUntouched) {
    EXPECT_EQ(VRDfileReadBinary((path + "-missing").c_str()), 1);
    EXPECT_EQ(VRDfileWriteBinary(testing::TempDir().c_str()), 1);  // a directory
    errno = 0;
    EXPECT_EQ(VRDfileWriteBinaryChecked(testing::TempDir().c_str()), 1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileReadBinary", -10}, {"VRDfileWriteBinary", -10},
                                                  {"VRDfileWriteBinaryChecked", VRD_E_OPEN}}));
    const std::pair<Bytes, int> headers[] = {{{7, 0, 0, 0, 0, 0, 0, 0}, -12}, {{6, 0, 0}, -11}, {{}, -11}};
    for (const auto &[bytes, code] : headers) {
        EXPECT_EQ(readIntoFreshStore(bytes), 1);
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileReadBinary", code}}));
        EXPECT_EQ(VRDkeyFind("KEEP"), 0u);
    }
    ASSERT_EQ(VRDkill(VRDget(nullptr), nullptr), 0);
    EXPECT_EQ(VRDfileWriteBinaryChecked(path.c_str()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_NOSTORE}}));
}

// A full device: the standard dump says nothing (its writes are not examined);
// the checked one reports -25 under its own name with the system's reason in
// errno.  The text writer gives 0 whatever its writes did, without a report;
// a failed write leaves the channel failed, and closing it says so.
TEST_F(BinaryTest, FullDeviceIsReportedByTheCheckedDumpWithTheSystemsReason) {
    if (vrdtest::fullDevice() == nullptr) GTEST_SKIP() << "no full device here";
    VRDentity root, e;
    expectOk({VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "Root", &root), VRDformAddInt(root, kNone, 400000000, &e),
              VRDformAddReal(kNone, &e, root, 2.5), VRDformAddString(root, kNone, "text", &e)});
    EXPECT_EQ(VRDfileWriteBinary("/dev/full"), 0);
    EXPECT_TRUE(takeReports().empty());
    errno = 0;
    EXPECT_EQ(VRDfileWriteBinaryChecked("/dev/full"), 1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_WRITE}}));
    EXPECT_EQ(VRDlastError(), -25);
    EXPECT_STREQ(VRDerrorMessage(VRD_E_WRITE), "Unknown error");
    TextChannel *full = openTextFile("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    for (int i = 0; i < 2000; ++i) EXPECT_EQ(VRDfileWriteEntity(full, 1, root, 1), 0);
    EXPECT_EQ(closeTextFile(full), -1);
    EXPECT_TRUE(takeReports().empty());
}

// A file cut inside the string section: keys, forms and points are the file's, the strings are
// gone, the big integers and reals are the old ones.
TEST_F(BinaryTest, CutInStringSectionKeepsEarlierSectionsAndLaterOldOnes) {
    VRDentity root, e, oldBig, oldReal, big, real;
    expectOk({VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "NEW", &root), VRDformAddPoint(kNone, &e, root, 11, 12),
              VRDformAddInt(root, kNone, 5, &e), VRDformAddString(root, kNone, "held", &e),
              VRDstringCreate("unreferenced", &e)});
    Bytes bytes = written();
    // Key section: "NEW", one form whose slab reached five slots (a run of three, the freed two below).
    const size_t strings = 4 + (4 + 4 + 4 + 44 + 512 + 28 + 40) + (4 + 6 + 2048) * 2 + 4;
    bytes.resize(strings + 4 + 10);
    EXPECT_EQ(readIntoFreshStore(bytes, 0, [&] {
        expectOk({VRDintCreate(-1 << 30, &oldBig), VRDrealCreate(0.75, &oldReal), VRDstringCreate("old", &e)});
    }), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringReadBinary", -11}}));
    EXPECT_EQ(VRDkeyFind("KEEP"), VRD_NO_KEY);
    // The forms stay though the string they hold is gone: it reads as absent.
    EXPECT_TRUE(VRDformEntityCount(root) == 3 && VRDpointFind(11, 12) == VRDformGetEntity(root, 0));
    EXPECT_EQ(VRDstringGetPtrValue(VRDformGetEntity(root, 2)), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringGetPtrValue", -7}}));
    EXPECT_TRUE(VRDstringFind("unreferenced") == VRDnullEntity() && VRDstringFind("old") == VRDnullEntity());
    expectOk({VRDintCreate(-1 << 30, &big), VRDrealCreate(0.75, &real)});
    EXPECT_TRUE(big == oldBig && real == oldReal);
    exerciseStore();
}

// Every allocation of a read, failed in turn, is reported once as -2 under the reader of its
// section and leaves a usable store.  Hand-made damage a reader trusting the file would follow
// outside a block is refused with -12, the store untouched; value entities naming nothing are
// read, and read as absent.  Random damage (counts, indexes, links and run starts overwritten,
// some files cut short) is refused or read, leaving a store safe to use, check mode on or off.
TEST_F(BinaryTest, FailedAllocationsAndDamagedFilesAreRefusedOrReadSafely) {
    buildSample();
    const Bytes good = written();
    std::vector<std::string> seen;
    for (long n = 1; readIntoFreshStore(good, n) != 0; ++n) {
        ASSERT_LT(n, 200) << "the read never succeeded";
        std::vector<Report> r = takeReports();
        ASSERT_TRUE(r.size() == 1 && r[0].code == -2) << n;
        if (seen.empty() || seen.back() != r[0].routine) seen.push_back(r[0].routine);
        exerciseStore();
    }
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(seen, (std::vector<std::string>{"VRDkeyReadBinary", "VRDpointReadBinary", "VRDstringReadBinary",
                                              "VRDintReadBinary", "VRDrealReadBinary"}));
    const struct { const char *what; size_t at; uint32_t value; bool read = false; } damages[] = {
        {"keyword offset past the text", kOffsets + 4, 5},
        {"keyword chain loops", kChain + 4, 1},
        {"free block length runs over a form's run", kSlab + 4, 7},
        {"freeForms chain loops", kForms + 2 * 28 + 20, 2},
        {"owner names a missing form", kForms + 28 + 4, 3},
        {"slab entity names a missing real", kSlab + 6 * 8 + 3 * 8, 0x30000005, true},
        {"packed point beyond the y table", kSlab + 6 * 8 + 2 * 8 + 4, (5u << 15) | 2, true},
        {"table point beyond the point table", kSlab + 6 * 8 + 5 * 8 + 4, 0x3C000001, true},
        {"x count beyond the table's limit", kXCount, 30720},
        {"point chain link past the count", kPointRecords + 8, 1},
        {"string chain link starts no entry", kStringText, 1},
        {"string text not terminated", kStringText + 4, 0x41414141},
        {"bigint count past 2^27", kBigints, 0x8000000},
    };
    for (const auto &d : damages) {
        SCOPED_TRACE(d.what);
        Bytes bytes = good;
        putWord(bytes, d.at, d.value);
        EXPECT_EQ(readIntoFreshStore(bytes), d.read ? 0 : 1);
        EXPECT_EQ(takeReports(), (d.read ? std::vector<Report>{} : std::vector<Report>{{"VRDfileReadBinary", -12}}));
        EXPECT_EQ(VRDkeyFind("KEEP"), d.read ? VRD_NO_KEY : 0u);
        exerciseStore();
    }
    // Most of the file is the long x table; aim most damage elsewhere.
    const std::pair<size_t, size_t> regions[] = {{4, kXCount + 8}, {kXIndex, kPointRecords + 64},
                                                 {kStringUsed, good.size()}, {0, good.size()}};
    const uint32_t values[] = {0, 1, 2, 3, 6, 7, 0xFFFF, 0x7FFF, kNone, kEnd, 0x80000000, 0x80000001};
    std::mt19937 random(12345);
    int outcomes[2] = {0, 0};
    for (int round = 0; round < 400; ++round) {
        Bytes bytes = good;
        auto [from, to] = regions[round % 4];
        size_t at = from + random() % (to - from - 4);
        if (round % 3 == 0) bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        else putWord(bytes, at, values[random() % std::size(values)]);
        if (round % 7 == 0) bytes.resize(at);
        VRDsetCheck(round % 2);
        int32_t result = readIntoFreshStore(bytes);
        std::vector<Report> r = takeReports();
        ++outcomes[result != 0];
        EXPECT_TRUE(result == 0 ? r.empty() : r.size() == 1 && (r[0].code == -11 || r[0].code == -12)) << round;
        exerciseStore();
    }
    EXPECT_TRUE(outcomes[0] > 0 && outcomes[1] > 0);  // some damage is harmless, some is refused
}

// Runs are claimed a 64-bit word at a time: runs that meet are apart, any
// shared bit is refused wherever it falls in a word, a run leaving the marks
// is refused, and single claims see the bits runs set.
TEST(Marks, RunsMeetButNeverShareABit) {
    vrd::Marks marks;
    ASSERT_EQ(marks.init(300), vrd::Status::Ok);
    const struct { uint64_t first, n; bool claimed; } runs[] = {
        {0, 1, true},     {1, 63, true},   {64, 64, true},  {130, 70, true}, {129, 1, true}, {128, 2, false},
        {199, 2, false},  {200, 100, true}, {299, 1, false}, {300, 1, false}, {250, 60, false}, {0, 0, true},
    };
    for (const auto &r : runs) EXPECT_EQ(marks.claimRun(r.first, r.n), r.claimed) << r.first << "+" << r.n;
    EXPECT_FALSE(marks.test(128));
    EXPECT_TRUE(marks.claim(128));
    for (uint64_t i = 0; i < 300; ++i) ASSERT_TRUE(marks.test(i)) << i;
    EXPECT_FALSE(marks.test(300));
    EXPECT_FALSE(marks.claim(64));
}

// Runs inside one word take a shorter path than runs across words: random
// runs of every length and place get the answers a plain bit per slot gives.
TEST(Marks, RunsAgreeWithPlainBits) {
    uint64_t seed = 12;
    auto next = [&seed](uint64_t n) { return ((seed = seed * 6364136223846793005u + 1442695040888963407u) >> 33) % n; };
    for (int round = 0; round < 50; ++round) {
        vrd::Marks marks;
        ASSERT_EQ(marks.init(700), vrd::Status::Ok);
        std::vector<bool> plain(700, false);
        for (int i = 0; i < 60; ++i) {
            uint64_t first = next(720), n = next(round % 2 == 0 ? 70 : 140);
            bool free = n == 0 || (first < 700 && n <= 700 - first);
            for (uint64_t j = first; free && j < first + n; ++j) free = !plain[j];
            bool claimed = marks.claimRun(first, n);
            ASSERT_EQ(claimed, free) << first << "+" << n;
            // A refused run may leave the marks in any state: the round ends there.
            if (!claimed) break;
            for (uint64_t j = first; j < first + n; ++j) plain[j] = true;
        }
        for (uint64_t j = 0; j < 700; ++j) ASSERT_TRUE(!plain[j] || marks.test(j)) << j;
    }
}

}  // namespace
