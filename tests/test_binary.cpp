// test_binary.cpp - the version-6 binary file: exact bytes, round trips, failures and hostile files.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "files/binary.h"
#include "support.h"

using vrdtest::Report;

namespace {

constexpr uint32_t kEnd = 0x7FFFFFFF;

std::string tempPath(const char *name) { return testing::TempDir() + "vrd_binary_" + name; }

std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Walks a file field by field.
struct Cursor {
    const std::vector<uint8_t> &bytes;
    size_t at = 0;
    uint32_t u32() {
        uint32_t v = 0;
        EXPECT_LE(at + 4, bytes.size());
        if (at + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return v;
    }
    uint16_t u16() {
        uint16_t v = 0;
        if (at + 2 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 2);
        at += 2;
        return v;
    }
    double f64() {
        double v = 0;
        if (at + 8 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 8);
        at += 8;
        return v;
    }
    std::string text(size_t n) {
        std::string s(reinterpret_cast<const char *>(bytes.data() + at), n);
        at += n;
        return s;
    }
    VRDentity entity() {
        uint32_t a = u32();
        return VRDentity{a, u32()};
    }
};

// Points (i, 0) for 30,600 distinct x fill the xcoord table to its last
// step, so a point with a new x goes to the point table.
void fillXcoords() {
    VRDentity p;
    for (int32_t x = 0; x < 30600; ++x) ASSERT_EQ(VRDpointCreate(x, 0, &p), 0);
}

// The store of the format test, by the growth and placement rules:
//   key 0 "A": f0 (root) holds int 7, "hi", point (5,7), 2.5, 2^28, the table
//   point (100000, 1) and then f1; f1 holds 3; f2 is killed.  Adding f1 moved
//   f0's run from slots 0-5 to 6-12, leaving a 6-slot free block at 0.
//   key 1 "BB": no forms.
struct Sample {
    VRDentity f0, f1, f2, tablePoint, packedPoint;
};

Sample buildSample() {
    Sample s{};
    uint32_t a, b;
    EXPECT_EQ(VRDkeyCreate("A", &a), 0);
    EXPECT_EQ(VRDkeyCreate("BB", &b), 0);
    fillXcoords();
    VRDentity list[6];
    EXPECT_EQ(VRDformCreate(VRDnullEntity(), a, nullptr, &s.f0), 0);
    EXPECT_EQ(VRDintCreate(7, &list[0]), 0);
    EXPECT_EQ(VRDstringCreate("hi", &list[1]), 0);
    EXPECT_EQ(VRDpointCreate(5, 7, &list[2]), 0);
    EXPECT_EQ(VRDrealCreate(2.5, &list[3]), 0);
    EXPECT_EQ(VRDintCreate(1 << 28, &list[4]), 0);
    EXPECT_EQ(VRDpointCreate(100000, 1, &list[5]), 0);
    s.packedPoint = list[2];
    s.tablePoint = list[5];
    EXPECT_EQ(VRDformAddEntities(s.f0, 0xFFFFFFFF, 6, list), 0);
    EXPECT_EQ(VRDformAddForm(s.f0, 0xFFFFFFFF, a, nullptr, &s.f1), 0);
    VRDentity three;
    EXPECT_EQ(VRDformAddInt(s.f1, 0xFFFFFFFF, 3, &three), 0);
    EXPECT_EQ(VRDformCreate(VRDnullEntity(), a, nullptr, &s.f2), 0);
    EXPECT_EQ(VRDformKill(s.f2, 0, 0), 0);
    return s;
}

// Offsets into the sample's file, found by walking it.
struct Layout {
    size_t keyCount, offsets, chain, keyRecords, keywordIndex, forms, slab;
    size_t xCount, xNext, xIndex, yCount, pointCount, pointRecords, pointIndex;
    size_t stringUsed, stringText, stringIndex, bigintCount, realCount;
};

Layout layoutOf(const std::vector<uint8_t> &bytes) {
    Layout l{};
    Cursor c{bytes, 4};
    uint32_t t = c.u32();
    c.at += t;
    l.keyCount = c.at;
    uint32_t k = c.u32();
    l.offsets = c.at;
    l.chain = l.offsets + 4 * k;
    l.keyRecords = l.chain + 4 * k;
    l.keywordIndex = l.keyRecords + 36 * k;
    l.forms = l.keywordIndex + 512;
    l.slab = l.forms + 3 * 28;
    l.xCount = l.slab + 13 * 8;
    c.at = l.xCount;
    uint32_t x = c.u32();
    l.xNext = l.xCount + 4 + 4 * x;
    l.xIndex = l.xNext + 2 * x;
    l.yCount = l.xIndex + 2048;
    c.at = l.yCount;
    uint32_t y = c.u32();
    l.pointCount = l.yCount + 4 + 6 * y + 2048;
    l.pointRecords = l.pointCount + 4;
    l.pointIndex = l.pointRecords + 12;
    l.stringUsed = l.pointIndex + 4076;
    l.stringText = l.stringUsed + 4;
    l.stringIndex = l.stringText + 7;
    l.bigintCount = l.stringIndex + 4096;
    l.realCount = l.bigintCount + 8;
    return l;
}

std::string capturedStatistics() {
    testing::internal::CaptureStdout();
    VRDstatistics();
    return testing::internal::GetCapturedStdout();
}

// Everything a host may do with a store after reading a file: walk and write
// every root, create, fill and kill forms, print the report.  Under the
// sanitizers this proves the store holds nothing that leads outside a block.
void exerciseStore() {
    TextChannel *out = openTextBuffer();
    ASSERT_NE(out, nullptr);
    for (uint32_t key = 0; VRDkeyGetPtrValue(key) != nullptr; ++key) {
        int32_t cursor = 0;
        for (VRDentity f = VRDformFindNext(key, 0, nullptr, &cursor); f.first != 0;
             f = VRDformFindNext(key, 0, nullptr, &cursor)) {
            ++cursor;
            VRDfileWriteEntity(out, 1, f, 1);
            VRDformGetProperty(f, 1);
            VRDformFindOver(f, key, 0, nullptr);
        }
    }
    closeTextFile(out);
    VRDentity f, g, e;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "A", &f), 0);
    ASSERT_EQ(VRDformAddString(f, 0xFFFFFFFF, "hi", &e), 0);
    ASSERT_EQ(VRDformAddInt(f, 0xFFFFFFFF, 1 << 29, &e), 0);
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, f, 123456, -9), 0);
    ASSERT_EQ(VRDformAddReal(0xFFFFFFFF, &e, f, 0.125), 0);
    ASSERT_EQ(VRDformAddForm(f, 0, VRD_NO_KEY, "BB", &g), 0);
    ASSERT_EQ(VRDformAddInt(g, 0xFFFFFFFF, 4, &e), 0);
    EXPECT_EQ(VRDformEntityCount(f), 5u);
    EXPECT_STREQ(VRDstringGetPtrValue(VRDformGetEntity(f, 1)), "hi");
    EXPECT_EQ(VRDpointGetX(VRDformGetEntity(f, 3)), 123456);
    EXPECT_EQ(VRDformKill(f, 1, 0), 0);
    capturedStatistics();
}

class BinaryTest : public vrdtest::StoreTest {
protected:
    std::string path = tempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    void TearDown() override {
        std::remove(path.c_str());
        StoreTest::TearDown();
    }
};

TEST_F(BinaryTest, FileHoldsEveryPoolFieldByField) {
    Sample sample = buildSample();
    ASSERT_EQ(sample.tablePoint.second, 0x3C000000u);
    ASSERT_EQ(sample.packedPoint.second, (5u << 15) | 1u);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> bytes = readBytes(path);
    Cursor c{bytes};
    EXPECT_EQ(c.u32(), 6u);

    // Key section: texts, offsets, chains, records, index, form data.
    ASSERT_EQ(c.u32(), 5u);
    EXPECT_EQ(c.text(5), std::string("A\0BB\0", 5));
    ASSERT_EQ(c.u32(), 2u);
    EXPECT_EQ(c.u32(), 0u);
    EXPECT_EQ(c.u32(), 2u);
    EXPECT_EQ(c.u32(), kEnd);
    EXPECT_EQ(c.u32(), kEnd);
    const uint32_t keyA[9] = {1, 4, 3, 2, 1, 1, 1020, 13, 0};
    for (uint32_t w : keyA) EXPECT_EQ(c.u32(), w);
    const uint32_t keyBB[9] = {0, 0, 0, 0xFFFFFFFF, 0, 0, 0, 0, 0xFFFFFFFF};
    for (uint32_t w : keyBB) EXPECT_EQ(c.u32(), w);
    for (uint32_t b = 0; b < 128; ++b) EXPECT_EQ(c.u32(), b == 'A' ? 0u : b == 'B' ? 1u : kEnd) << b;
    // f0: no owner, holds a form, seven entities from slot 6.
    EXPECT_EQ(c.entity(), VRDnullEntity());
    EXPECT_EQ(c.entity(), VRDnullEntity());
    EXPECT_EQ(c.u32(), (7u << 8) | 2u);
    EXPECT_EQ(c.u32(), 6u);
    c.u32();
    // f1: owned by f0, one inline entity.
    EXPECT_EQ(c.entity(), sample.f0);
    EXPECT_EQ(c.entity(), VRDnullEntity());
    EXPECT_EQ(c.u32(), 1u << 8);
    EXPECT_EQ(c.entity(), vrdtest::entity(0x18000003));
    // f2: killed, the end of the chain of killed forms.
    EXPECT_EQ(c.entity(), VRDnullEntity());
    EXPECT_EQ(c.entity(), VRDnullEntity());
    EXPECT_EQ(c.u32(), 1u);
    EXPECT_EQ(c.u32(), 0xFFFFFFFFu);
    c.u32();
    // Slab: the free block header at slot 0, f0's run at slots 6-12.
    EXPECT_EQ(c.entity(), vrdtest::entity(0xFFFFFFFF, 6));
    c.at += 5 * 8;
    const VRDentity run[7] = {vrdtest::entity(0x18000007), vrdtest::entity(0x20000000), sample.packedPoint,
                              vrdtest::entity(0x30000000), vrdtest::entity(0x08000000), sample.tablePoint,
                              sample.f1};
    for (VRDentity e : run) EXPECT_EQ(c.entity(), e);

    // Point section: 30,600 x values chained 64 to a bucket, y values 0 and 7.
    ASSERT_EQ(c.u32(), 30600u);
    for (uint32_t i = 0; i < 30600; ++i) ASSERT_EQ(c.u32(), i);
    for (uint32_t i = 0; i < 30600; ++i) ASSERT_EQ(c.u16(), i % 64 == 63 || i == 30599 ? 0xFFFF : i + 1) << i;
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.u16(), b <= 478 ? b * 64 : 0xFFFF) << b;
    ASSERT_EQ(c.u32(), 2u);
    EXPECT_EQ(c.u32(), 0u);
    EXPECT_EQ(c.u32(), 7u);
    EXPECT_EQ(c.u16(), 1u);
    EXPECT_EQ(c.u16(), 0xFFFFu);
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.u16(), b == 0 ? 0u : 0xFFFFu);
    ASSERT_EQ(c.u32(), 1u);
    EXPECT_EQ(c.u32(), 100000u);
    EXPECT_EQ(c.u32(), 1u);
    EXPECT_EQ(c.u32(), 0xFFFFFFFFu);
    for (uint32_t b = 0; b < 1019; ++b) ASSERT_EQ(c.u32(), b == 543 ? 0u : 0xFFFFFFFFu) << b;

    // String section: one entry "hi" in bucket 921.
    ASSERT_EQ(c.u32(), 7u);
    EXPECT_EQ(c.text(7), std::string("\xFF\xFF\xFF\xFFhi\0", 7));
    for (uint32_t b = 0; b < 1024; ++b) ASSERT_EQ(c.u32(), b == 921 ? 0u : 0xFFFFFFFFu) << b;

    // Big integers and reals.
    ASSERT_EQ(c.u32(), 1u);
    EXPECT_EQ(c.u32(), 1u << 28);
    ASSERT_EQ(c.u32(), 1u);
    EXPECT_EQ(c.f64(), 2.5);
    EXPECT_EQ(c.at, bytes.size());
    // The length by the size formula: T 5, K 2, F 3*28 + 13*8, X 30600, Y 2, P 1, S 7, N 1, R 1.
    EXPECT_EQ(bytes.size(), 4u + (4 + 5 + 4 + 44 * 2 + 512 + 188) + (4 + 6 * 30600 + 2048 + 4 + 6 * 2 + 2048 + 4 +
                                                                      12 + 4076) +
                                (4 + 7 + 4096) + (4 + 4) + (4 + 8));
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(BinaryTest, PoolsNeverMadeAreWrittenAsEndTables) {
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> bytes = readBytes(path);
    Cursor c{bytes};
    EXPECT_EQ(c.u32(), 6u);
    EXPECT_EQ(c.u32(), 0u);
    EXPECT_EQ(c.u32(), 0u);
    for (int b = 0; b < 128; ++b) ASSERT_EQ(c.u32(), kEnd);
    for (int table = 0; table < 2; ++table) {
        EXPECT_EQ(c.u32(), 0u);
        for (int b = 0; b < 1024; ++b) ASSERT_EQ(c.u16(), 0xFFFF);
    }
    EXPECT_EQ(c.u32(), 0u);  // no point records and no point index follow
    EXPECT_EQ(c.u32(), 0u);
    for (int b = 0; b < 1024; ++b) ASSERT_EQ(c.u32(), 0xFFFFFFFFu);
    EXPECT_EQ(c.u32(), 0u);
    EXPECT_EQ(c.u32(), 0u);
    EXPECT_EQ(c.at, bytes.size());
    EXPECT_EQ(bytes.size(), 4u + 520 + 4108 + 4100 + 4 + 4);
}

TEST_F(BinaryTest, RoundTripReproducesTheStoreWithCapacitiesAtCounts) {
    Sample sample = buildSample();
    VRDentity id;
    ASSERT_EQ(VRDidCreate("ident", &id), 0);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);

    ASSERT_NE(VRDnew("second"), nullptr);
    VRDentity junk;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "JUNK", &junk), 0);
    ASSERT_EQ(VRDstringCreate("old", &junk), 0);
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    EXPECT_TRUE(takeReports().empty());

    // The same bytes come out again, every pool equal up to its count; only
    // the capacities in the key records have become the counts.
    std::string again = tempPath("again");
    ASSERT_EQ(VRDfileWriteBinary(again.c_str()), 0);
    std::vector<uint8_t> first = readBytes(path), second = readBytes(again);
    std::remove(again.c_str());
    ASSERT_EQ(first.size(), second.size());
    size_t keyA = layoutOf(first).keyRecords;
    Cursor c{second, keyA + 4};
    EXPECT_EQ(c.u32(), 3u);  // formCapacity = formCount
    c.at = keyA + 24;
    EXPECT_EQ(c.u32(), 13u);  // slabCapacity = slabUsed
    std::memcpy(second.data() + keyA + 4, first.data() + keyA + 4, 4);
    std::memcpy(second.data() + keyA + 24, first.data() + keyA + 24, 4);
    EXPECT_TRUE(first == second);

    // Every entity keeps its meaning; nothing of the old contents survives.
    EXPECT_EQ(VRDkeyFind("JUNK"), VRD_NO_KEY);
    EXPECT_EQ(VRDstringFind("old"), VRDnullEntity());
    EXPECT_EQ(VRDidFind("ident"), id);
    EXPECT_EQ(VRDformEntityCount(sample.f0), 7u);
    EXPECT_EQ(VRDintGetValue(VRDformGetEntity(sample.f0, 0)), 7);
    EXPECT_STREQ(VRDstringGetPtrValue(VRDformGetEntity(sample.f0, 1)), "hi");
    EXPECT_EQ(VRDpointGetY(VRDformGetEntity(sample.f0, 2)), 7);
    EXPECT_EQ(VRDrealGetValue(VRDformGetEntity(sample.f0, 3)), 2.5);
    EXPECT_EQ(VRDintGetValue(VRDformGetEntity(sample.f0, 4)), 1 << 28);
    EXPECT_EQ(VRDpointGetX(VRDformGetEntity(sample.f0, 5)), 100000);
    EXPECT_EQ(VRDformGetOwner(sample.f1), sample.f0);
    EXPECT_EQ(VRDformIsKilled(sample.f2), 1);

    // Capacities equal counts, so the report shows no free room in any pool.
    std::string report = capturedStatistics();
    EXPECT_NE(report.find("Keys           - 2/2 entries, 5/5 bytes, 528/528 lists\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Xcoords        - 122400 bytes, 61200 next, 2048 index, 0 fsp\n"), std::string::npos);
    EXPECT_NE(report.find("Points         - 12 bytes,  0 fsp\n"), std::string::npos);
    EXPECT_NE(report.find("Strings/Ids    - 17/17 bytes, 4096 index\n"), std::string::npos);
    EXPECT_NE(report.find("Bigints        - 1/1 entries, 4/4 lists\n"), std::string::npos);
    EXPECT_NE(report.find("0    A            3      84      13      104     48      "), std::string::npos);

    // The killed record is reused first; each pool grows from its count.
    VRDentity reused, big;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), 0, nullptr, &reused), 0);
    EXPECT_EQ(reused, sample.f2);
    ASSERT_EQ(VRDintCreate(1 << 29, &big), 0);
    EXPECT_EQ(big, vrdtest::entity(0x08000001));
    EXPECT_NE(capturedStatistics().find("Bigints        - 2/126 entries"), std::string::npos);
}

// A file without table points (P = 0) releases the table of the store it
// is read into.
TEST_F(BinaryTest, FileWithoutTablePointsReleasesThePointTable) {
    VRDentity e;
    ASSERT_EQ(VRDpointCreate(1, 2, &e), 0);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);

    ASSERT_NE(VRDnew("points"), nullptr);
    fillXcoords();
    VRDentity tablePoint;
    ASSERT_EQ(VRDpointCreate(-5, -5, &tablePoint), 0);
    ASSERT_EQ(VRDpointFind(-5, -5), tablePoint);
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    EXPECT_EQ(VRDpointFind(-5, -5), VRDnullEntity());
    EXPECT_EQ(VRDpointFind(1, 2), e);
    std::string report = capturedStatistics();
    EXPECT_NE(report.find("Points         - 0 bytes,  0 fsp\n"), std::string::npos);
    EXPECT_EQ(report.find("Point Distribution"), std::string::npos);
    ASSERT_EQ(VRDpointCreate(-5, -5, &tablePoint), 0);  // the table grows afresh
    EXPECT_EQ(VRDpointGetX(tablePoint), -5);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(BinaryTest, OpenAndHeaderFailuresLeaveTheStoreUntouched) {
    uint32_t key;
    ASSERT_EQ(VRDkeyCreate("KEEP", &key), 0);
    EXPECT_EQ(VRDfileReadBinary((path + "-missing").c_str()), 1);
    EXPECT_EQ(VRDfileWriteBinary(testing::TempDir().c_str()), 1);  // a directory
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileReadBinary", -10}, {"VRDfileWriteBinary", -10}}));

    writeBytes(path, {7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    writeBytes(path, {6, 0, 0});
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    writeBytes(path, {});
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileReadBinary", -12},
                                                  {"VRDfileReadBinary", -11},
                                                  {"VRDfileReadBinary", -11}}));
    EXPECT_EQ(VRDkeyFind("KEEP"), key);
}

TEST_F(BinaryTest, NoCurrentStoreIsReportedUnderEachName) {
    VRDkill(store, nullptr);
    EXPECT_EQ(VRDfileWriteBinary(path.c_str()), 1);
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    testing::internal::CaptureStdout();
    VRDstatistics();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteBinary", -3},
                                                  {"VRDfileReadBinary", -3},
                                                  {"VRDstatistics", -3}}));
}

// A file cut inside the string section: keys, forms and points are the
// file's, the strings are gone, the big integers and reals are the old ones.
TEST_F(BinaryTest, CutInStringSectionKeepsEarlierSectionsAndLaterOldOnes) {
    VRDentity root, e;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "NEW", &root), 0);
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, root, 11, 12), 0);
    ASSERT_EQ(VRDformAddInt(root, 0xFFFFFFFF, 5, &e), 0);
    ASSERT_EQ(VRDstringCreate("unreferenced", &e), 0);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> bytes = readBytes(path);
    // The string section starts after the key and point sections.
    size_t strings = 4 + (4 + 4 + 4 + 44 + 512 + 28 + 16) + (4 + 6 + 2048) * 2 + 4;
    Cursor c{bytes, strings};
    ASSERT_EQ(c.u32(), 17u);
    bytes.resize(strings + 4 + 10);
    writeBytes(path, bytes);

    ASSERT_NE(VRDnew("old"), nullptr);
    VRDentity oldBig, oldReal, oldString;
    uint32_t oldKey;
    ASSERT_EQ(VRDkeyCreate("OLDKEY", &oldKey), 0);
    ASSERT_EQ(VRDintCreate(-1 << 30, &oldBig), 0);
    ASSERT_EQ(VRDrealCreate(0.75, &oldReal), 0);
    ASSERT_EQ(VRDstringCreate("old", &oldString), 0);
    takeReports();
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringReadBinary", -11}}));

    EXPECT_EQ(VRDkeyFind("OLDKEY"), VRD_NO_KEY);
    EXPECT_EQ(VRDkeyFind("NEW"), 0u);
    EXPECT_EQ(VRDformEntityCount(root), 2u);
    EXPECT_EQ(VRDpointFind(11, 12), VRDformGetEntity(root, 0));
    EXPECT_EQ(VRDstringFind("unreferenced"), VRDnullEntity());
    EXPECT_EQ(VRDstringFind("old"), VRDnullEntity());
    VRDentity again;
    ASSERT_EQ(VRDintCreate(-1 << 30, &again), 0);
    EXPECT_EQ(again, oldBig);
    ASSERT_EQ(VRDrealCreate(0.75, &again), 0);
    EXPECT_EQ(again, oldReal);
    exerciseStore();
}

// Cut in the same place when the file's forms hold strings: those forms would
// name texts the store no longer has, so the whole store is emptied instead.
TEST_F(BinaryTest, CutThatStrandsReferencesEmptiesTheStore) {
    buildSample();
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> bytes = readBytes(path);
    bytes.resize(bytes.size() - 8 - 8 - 4096 - 3);  // inside the string text
    writeBytes(path, bytes);
    ASSERT_NE(VRDnew("old"), nullptr);
    VRDentity e;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "OLD", &e), 0);
    takeReports();
    EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringReadBinary", -11}}));
    EXPECT_EQ(VRDkeyFind("A"), VRD_NO_KEY);
    EXPECT_EQ(VRDkeyFind("OLD"), VRD_NO_KEY);
    EXPECT_NE(capturedStatistics().find("Total space allocated  - 12780 bytes, 0 free"), std::string::npos);
    exerciseStore();
}

TEST_F(BinaryTest, SmallerStoreOverLargerFileKeepsTheTail) {
    buildSample();
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> large = readBytes(path);

    ASSERT_NE(VRDnew("small"), nullptr);
    VRDentity f;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "SMALL", &f), 0);
    VRDentity tiny;
    ASSERT_EQ(VRDformAddString(f, 0xFFFFFFFF, "tiny", &tiny), 0);
    std::string alone = tempPath("alone");
    ASSERT_EQ(VRDfileWriteBinary(alone.c_str()), 0);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<uint8_t> small = readBytes(alone);
    std::remove(alone.c_str());
    std::vector<uint8_t> both = readBytes(path);
    ASSERT_LT(small.size(), large.size());
    ASSERT_EQ(both.size(), large.size());
    EXPECT_TRUE(std::equal(small.begin(), small.end(), both.begin()));
    EXPECT_TRUE(std::equal(large.begin() + static_cast<long>(small.size()), large.end(),
                           both.begin() + static_cast<long>(small.size())));

    ASSERT_NE(VRDnew("reader"), nullptr);
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    EXPECT_EQ(VRDkeyFind("A"), VRD_NO_KEY);
    EXPECT_STREQ(VRDstringGetPtrValue(VRDformGetEntity(f, 0)), "tiny");
    EXPECT_TRUE(takeReports().empty());
}

// Every allocation of a read, failed in turn: each failure is reported once,
// as -2 under the reader of its section, and leaves a usable store.
TEST_F(BinaryTest, AllocationFailuresAreReportedUnderTheSectionReader) {
    buildSample();
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    std::vector<std::string> seen;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 200) << "the read never succeeded";
        VRDkill(VRDget(nullptr), nullptr);
        ASSERT_NE(VRDnew("target"), nullptr);
        VRDentity old;
        ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "OLD", &old), 0);
        takeReports();
        heapwrapFailNth(n);
        int32_t result = VRDfileReadBinary(path.c_str());
        heapwrapFailNth(0);
        std::vector<Report> r = takeReports();
        if (result == 0) {
            EXPECT_TRUE(r.empty());
            break;
        }
        ASSERT_EQ(r.size(), 1u) << n;
        EXPECT_EQ(r[0].code, -2) << n;
        if (seen.empty() || seen.back() != r[0].routine) seen.push_back(r[0].routine);
        exerciseStore();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"VRDkeyReadBinary", "VRDpointReadBinary", "VRDstringReadBinary",
                                              "VRDintReadBinary", "VRDrealReadBinary"}));
}

TEST_F(BinaryTest, SectionReadersAndWritersWorkOnTheirOwn) {
    VRDentity big;
    ASSERT_EQ(VRDintCreate(1 << 30, &big), 0);
    std::string file = path;
    FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(VRDintWriteBinary(fileno(f)), 0);
    std::fclose(f);
    EXPECT_EQ(readBytes(file), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0x40}));

    ASSERT_NE(VRDnew("other"), nullptr);
    f = std::fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VRDintReadBinary(fileno(f)), 0);
    EXPECT_EQ(VRDintGetValue(big), 1 << 30);
    EXPECT_EQ(VRDrealReadBinary(fileno(f)), 1);  // nothing left
    std::fclose(f);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDrealReadBinary", -11}}));
}

void putWord(std::vector<uint8_t> &bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// Hand-made damage that a reader trusting the file would follow outside a
// block: each is refused with -12 and the store stays as it was.
TEST_F(BinaryTest, DamagedFilesAreRefusedAndTheStoreIsUntouched) {
    buildSample();
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    const std::vector<uint8_t> good = readBytes(path);
    const Layout l = layoutOf(good);
    struct Damage {
        const char *what;
        size_t at;
        uint32_t value;
    };
    const Damage damages[] = {
        {"keyword offset past the text", l.offsets + 4, 5},
        {"keyword chain loops", l.chain + 4, 1},
        {"keyword bucket head past the keys", l.keywordIndex + 4 * 'A', 2},
        {"key without forms claims a count", l.keyRecords + 36 + 8, 1},
        {"key without forms claims a capacity", l.keyRecords + 36 + 4, 8},
        {"free block past slabUsed", l.keyRecords + 32, 12},
        {"free block length runs over a form's run", l.slab + 4, 7},
        {"free block chain loops", l.slab, 0},
        {"freeForms past the records", l.keyRecords + 12, 3},
        {"freeForms chain loops", l.forms + 2 * 28 + 20, 2},
        {"form run past slabUsed", l.forms + 20, 7},
        {"form run over the free block", l.forms + 20, 4},
        {"owner names a missing form", l.forms + 28 + 4, 3},
        {"owner names a key without forms", l.forms + 28, 0x80000001},
        {"owner is a string", l.forms + 28, 0x20000000},
        {"property list is an integer", l.forms + 8, 0x18000005},
        {"inline entity names a missing bigint", l.forms + 28 + 20, 0x08000001},
        {"slab entity names a missing real", l.slab + 6 * 8 + 3 * 8, 0x30000005},
        {"slab entity names no string entry", l.slab + 6 * 8 + 8, 0x20000002},
        {"packed point beyond the y table", l.slab + 6 * 8 + 2 * 8 + 4, (5u << 15) | 2},
        {"table point beyond the point table", l.slab + 6 * 8 + 5 * 8 + 4, 0x3C000001},
        {"x count beyond the table's limit", l.xCount, 30720},
        {"x chain link past the count", l.xNext, 0xFFFF7FFF},
        {"x bucket head loops into a chain twice", l.xIndex, 1},
        {"point chain link past the count", l.pointRecords + 8, 1},
        {"point count beyond the table's limit", l.pointCount, 0x3FFFFFF},
        {"string chain link starts no entry", l.stringText, 1},
        {"string bucket head loops", l.stringText, 0},
        {"string text not terminated", l.stringText + 4, 0x41414141},
        {"string area past 2^27", l.stringUsed, 0x8000000},
        {"bigint count past 2^27", l.bigintCount, 0x8000000},
    };
    uint32_t keep;
    for (const Damage &d : damages) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> bytes = good;
        putWord(bytes, d.at, d.value);
        writeBytes(path, bytes);
        VRDkill(VRDget(nullptr), nullptr);
        ASSERT_NE(VRDnew("target"), nullptr);
        ASSERT_EQ(VRDkeyCreate("KEEP", &keep), 0);
        takeReports();
        EXPECT_EQ(VRDfileReadBinary(path.c_str()), 1);
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileReadBinary", -12}}));
        EXPECT_EQ(VRDkeyFind("KEEP"), keep);
        EXPECT_EQ(VRDkeyFind("A"), VRD_NO_KEY);
        exerciseStore();
    }
}

// Random damage: counts, indexes, links and run starts overwritten anywhere
// in the file.  Each read is refused or succeeds, and the store it leaves is
// safe to use, with check mode on and off.
TEST_F(BinaryTest, RandomlyCorruptedFilesNeverLeadOutsideABlock) {
    buildSample();
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    const std::vector<uint8_t> good = readBytes(path);
    const Layout l = layoutOf(good);
    // Most of the file is the long x table; aim most damage elsewhere.
    std::vector<std::pair<size_t, size_t>> regions = {
        {4, l.xCount + 8}, {l.xIndex, l.pointIndex + 64}, {l.stringUsed, good.size()}, {0, good.size()}};
    std::mt19937 random(12345);
    const uint32_t values[] = {0, 1, 2, 3, 6, 7, 0xFFFF, 0x7FFF, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x80000001};
    int refused = 0, read = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = good;
        auto [from, to] = regions[static_cast<size_t>(round) % regions.size()];
        size_t at = from + random() % (to - from - 4);
        if (round % 3 == 0)
            bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        else
            putWord(bytes, at, values[random() % std::size(values)]);
        if (round % 7 == 0) bytes.resize(at);
        writeBytes(path, bytes);
        VRDkill(VRDget(nullptr), nullptr);
        ASSERT_NE(VRDnew("target"), nullptr);
        takeReports();
        VRDsetCheck(round % 2);
        if (VRDfileReadBinary(path.c_str()) == 0) {
            ++read;
            EXPECT_TRUE(takeReports().empty());
        } else {
            ++refused;
            std::vector<Report> r = takeReports();
            ASSERT_EQ(r.size(), 1u);
            EXPECT_TRUE(r[0].code == -11 || r[0].code == -12) << r[0];
        }
        exerciseStore();
        VRDsetCheck(1);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(read, 0);
}

}  // namespace
