// test_strings.cpp - the string area: interning, hashing, growth, reading, chunks and lookups; byte order and
// natural order of texts, with their tokens.
#include <map>
#include <span>
#include <string>

#include "pools/pools.h"
#include "support.h"

namespace {

using vrdtest::entity;
using vrdtest::Report;

constexpr uint32_t kStr = 0x20000000, kId = 0x28000000;

// Each routine given an entity: true when it failed and wrote nothing else; the first six read texts.
constexpr std::pair<const char *, bool (*)(VRDentity)> kCalls[] = {
    {"VRDstringGetValue", [](VRDentity e) { char b[4] = "z"; return VRDstringGetValue(e, b, 4), !*b; }},
    {"VRDstringGetPtrValue", [](VRDentity e) { return VRDstringGetPtrValue(e) == nullptr; }},
    {"VRDstringLength", [](VRDentity e) { return VRDstringLength(e) == 0; }},
    {"VRDstringGetChunk", [](VRDentity e) { char b[4] = "z"; return VRDstringGetChunk(e, 0, 1, b, 4), !*b; }},
    {"VRDstringChunkUpdate",
     [](VRDentity e) { int32_t p = 1, n = 2; return VRDstringChunkUpdate(e, &p, &n, 0, 0, 1), p == 1 && n == 2; }},
    {"VRDstringChunkCreate",
     [](VRDentity e) { VRDentity o{3, 3}; return VRDstringChunkCreate(e, 0, 0, "a", &o) == 1 && o.first == 3; }},
    {"VRDstringCreate", [](VRDentity) { VRDentity o{3, 3}; return VRDstringCreate("a", &o) == 1 && o.first == 3; }},
    {"VRDidCreate", [](VRDentity) { VRDentity o{3, 3}; return VRDidCreate("a", &o) == 1 && o.first == 3; }},
    {"VRDstringFind", [](VRDentity) { return VRDstringFind("abc") == VRDnullEntity(); }},
    {"VRDidFind", [](VRDentity) { return VRDidFind("abc") == VRDnullEntity(); }},
    {"VRDformAddId", [](VRDentity e) { VRDentity o{3, 3}; return VRDformAddId(e, 0, "a", &o) == 1 && o.first == 3; }},
};

class Strings : public vrdtest::StoreTest {
protected:
    VRDentity make(const std::string &text) {
        VRDentity e{0xDEAD, 0xBEEF};
        EXPECT_EQ(VRDstringCreate(text.c_str(), &e), 0) << text.size();
        return e;
    }
};

TEST_F(Strings, EachTextIsStoredOnceAtTheEndOfTheArea) {
    VRDentity id{};
    EXPECT_TRUE(VRDstringFind("abc") == VRDnullEntity() && VRDidFind("abc") == VRDnullEntity());
    EXPECT_EQ(make("abc"), entity(kStr));  // the finds made nothing: the first entry is at 0
    EXPECT_TRUE(VRDidCreate("new", &id) == 0 && id == entity(kId | 8));  // after link word, three bytes, zero
    EXPECT_EQ(make("new"), entity(kStr | 8));
    EXPECT_EQ(make(""), entity(kStr | 16));  // the empty text: a 5-byte entry
    EXPECT_EQ(make("z"), entity(kStr | 21));
    EXPECT_EQ(make("abc"), entity(kStr));
    EXPECT_STREQ(VRDstringGetPtrValue(VRDidFind("new")), "new");
    const std::pair<const char *, uint32_t> hashes[] = {{"", 0}, {"A", 33}, {"AB", 892}, {"abc", 667}, {"\xE9", 969}};
    for (auto [text, bucket] : hashes) EXPECT_EQ(stringHash(text), bucket) << text;  // bytes hash as signed
}

TEST_F(Strings, BlockGrowsAtAnExactFitByTheLargerOfNeedAndStep) {
    // Stores a new text; true when that took the memory layer: the block grew.
    auto grows = [&](const std::string &t) { long n = heapwrapCalls(); return make(t), heapwrapCalls() != n; };
    VRDentity e{7, 7};
    heapwrapFailNth(1);  // the index
    EXPECT_EQ(VRDstringCreate("abc", &e), 1);
    heapwrapFailNth(2);  // the first block
    EXPECT_EQ(VRDidCreate("abc", &e), 1);
    EXPECT_TRUE(grows("abc"));                    // capacity 2030
    EXPECT_FALSE(grows(std::string(2012, 'a')));  // 8 + 2017: used 2025
    EXPECT_TRUE(grows(""));                       // 2025 + 5 == 2030 grows too: capacity 4060
    EXPECT_TRUE(grows(std::string(2995, 'b')));   // need 3000 > 2030: capacity 7060, used 5030
    EXPECT_FALSE(grows(std::string(2024, 'c')));  // used 7059
    const char *tail = VRDstringGetPtrValue(entity(kStr)) + 1;  // "bc", in the block its creation grows
    heapwrapFailNth(1);
    EXPECT_TRUE(VRDstringCreate(tail, &e) == 1 && e == entity(7, 7));
    EXPECT_EQ(takeReports(), std::vector<Report>(3, {"VRDstringCreate", VRD_E_NOMEM}));
    ASSERT_EQ(VRDstringCreate(tail, &e), 0);  // the failure took nothing: still at 7059
    EXPECT_EQ(e, entity(kStr | 7059));
    EXPECT_STREQ(VRDstringGetPtrValue(e), "bc");
}

TEST_F(Strings, CapacityNeverReachesTwoToTheTwentySeventhMinusOne) {
    std::string text(0x7FFFFFF - 5, 'l');  // need 2^27 - 1: refused
    VRDentity e{1, 2};
    EXPECT_TRUE(VRDstringCreate(text.c_str(), &e) == 1 && e == entity(1, 2));
    text.pop_back();
    EXPECT_EQ(make(text), entity(kStr));  // one byte less fits; the refused text took no room
    EXPECT_EQ(VRDstringLength(entity(kStr)), 0x7FFFFFF - 6);
    EXPECT_EQ(VRDidCreate("x", &e), 1);  // full: nothing more fits below 2^27 - 1
    EXPECT_EQ(takeReports(), std::vector<Report>(2, {"VRDstringCreate", VRD_E_TOOMANYSTRINGS}));
}

TEST_F(Strings, ReadersCopyWithinSizeAndEveryRoutineReportsUnderItsOwnName) {
    VRDentity alpha = make("alpha beta");
    char buffer[14] = "xxxxxxxxxxxxx";
    VRDstringGetValue(alpha, buffer, 12);  // zero-filled up to size - 1
    EXPECT_EQ(std::string(buffer, 14), std::string("alpha beta\0\0x", 14));
    VRDstringGetChunk(alpha, 1, 8, buffer, 4);  // count cut to size - 1
    EXPECT_STREQ(buffer, "lph");
    // The null entity is no error; 15 (stringUsed) and 0x7FFFFFF are reported when checked; 12, inside
    // the last entry's final bytes, is refused without a report.
    const std::pair<uint32_t, bool> cases[] = {{0, 0}, {kStr | 15, 1}, {kStr | 0x7FFFFFF, 1}, {kStr | 12, 0}};
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        for (auto [first, reported] : cases)
            for (const auto &[name, run] : std::span(kCalls).first(6)) {
                if (first == 0 && run == kCalls[5].second) continue;  // creation refuses the null entity
                EXPECT_TRUE(run(entity(first))) << name << " " << first;
                EXPECT_EQ(takeReports(), std::vector<Report>(check && reported, {name, VRD_E_BADSTRING})) << first;
            }
    }
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    for (const auto &[name, run] : kCalls) {
        EXPECT_TRUE(run(alpha)) << name;
        EXPECT_EQ(takeReports(), (std::vector<Report>{{name, VRD_E_NOSTORE}}));
    }
}

TEST_F(Strings, ChunksSpliceIntoNewEntriesOfTheSameKindAndNarrowByUnits) {
    VRDentity alpha = make("alpha beta"), id{}, out{};
    ASSERT_EQ(VRDidCreate("alpha beta", &id), 0);
    struct Case { VRDentity from; int32_t start, count; const char *with, *want; uint32_t tag; };
    const Case cases[] = {{alpha, 6, 4, "gamma", "alpha gamma", kStr}, {alpha, 0, 0, ">> ", ">> alpha beta", kStr},
                          {alpha, 5, 5, "", "alpha", kStr}, {id, 6, 4, "gamma", "alpha gamma", kId}};
    for (const Case &c : cases) {  // the last reuses the stored text's entry
        ASSERT_EQ(VRDstringChunkCreate(c.from, c.start, c.count, c.with, &out), 0) << c.want;
        EXPECT_EQ(out, entity(c.tag | (VRDstringFind(c.want).first & 0x7FFFFFF)));
        EXPECT_STREQ(VRDstringGetPtrValue(out), c.want);  // a fresh entry: the source never changes
    }
    heapwrapFailNth(1);  // the scratch block
    EXPECT_EQ(VRDstringChunkCreate(alpha, 0, 5, "x", &out), 1);
    EXPECT_TRUE(VRDstringFind("x beta") == VRDnullEntity());
    EXPECT_EQ(VRDstringChunkCreate(VRDnullEntity(), 0, 0, ">", &out), 1);  // unlike the readers
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringChunkCreate", VRD_E_NOMEM},
                                                  {"VRDstringChunkCreate", VRD_E_BADSTRING}}));
    struct Narrow { const char *text; int32_t position, length, unit, first, count, wantPosition, wantLength; };
    const Narrow narrows[] = {
        {"one two  three", 0, 14, 1, 2, 1, 4, 5}, {"one two  three", 0, 14, 1, 4, 1, 14, 0},  // no fourth word
        {"one two  three", 0, 14, 1, 3, 5, 9, 5}, {"  one two", 0, 9, 1, 0, 1, 2, 4},  // runs out; first word
        {"a,b,,c", 0, 6, 5, 3, 1, 4, 0},          {"a,b,,c", 0, 6, -1, 2, 2, 2, 2},
        {"line one", 0, 8, 2, 1, 3, 0, 8},        {"a,b,", 0, 4, 3, 3, 1, 4, 0},  // separator is the last byte
        {"l1\nl2\nl3", 0, 8, 2, 2, 1, 3, 2},      {"l1\nl2\nl3", 0, 5, 2, 3, 1, 5, 0},  // a feed past the end
        {"abcdef", 1, 4, 0, 2, 9, 3, 2},          {"short", 3, 20, 1, 1, 1, 3, 20},  // past the text: left alone
    };
    for (const Narrow &c : narrows) {
        int32_t position = c.position, length = c.length;
        VRDstringChunkUpdate(make(c.text), &position, &length, c.unit, c.first, c.count);
        EXPECT_EQ(std::make_pair(position, length), std::make_pair(c.wantPosition, c.wantLength)) << c.text;
    }
}

// Twelve thousand scrambled texts (three prefixes, one of high bytes; numbers that repeat; every other one
// ending in 0xFF), then each with "+".  Walked, searched, short of lookup memory or read back, entries keep
// their first-creation offsets in complete ascending chains; a chain read out of order is still walked.
TEST_F(Strings, LargeAreasKeepTheChainWalksAnswers) {
    std::vector<std::string> texts, more;
    for (uint32_t i = 0, x = 12345; i < 12000; ++i) {
        x = x * 1103515245u + 12345u;
        texts.push_back((i % 3 == 0 ? "node/" : i % 3 == 1 ? "n" : "\xE9t\x81/") +
                        std::to_string((x >> 8) % 9000) + ((x >> 8) % 2 != 0 ? "\xFF" : ""));
        more.push_back(texts.back() + "+");
    }
    std::map<std::string, uint32_t> offsetOf;  // std::string orders bytes unsigned, as the chains do
    int32_t used = 0;
    for (const auto *batch : {&texts, &more})
        for (const std::string &t : *batch)
            if (offsetOf.emplace(t, used).second) used += static_cast<int32_t>(t.size()) + 5;
    std::vector<int32_t> chains[1024];
    for (const auto &[t, offset] : offsetOf) chains[stringHash(t.c_str())].push_back(int32_t(offset));
    // Failing, every 7th creation's first allocation fails: the block's growth, reported, then retried; and
    // every 5th creation's first index allocation: the lookup's, absorbed silently (walks answer meanwhile).
    auto create = [&](const std::vector<std::string> &batch, bool failing) {
        int absorbed = 0, reported = 0;
        for (size_t i = 0; i < batch.size(); ++i) {
            bool armed = failing && i % 7 == 0, indexArmed = failing && i % 5 == 0;
            long calls = heapwrapCalls(), indexCalls = heapwrapIndexCalls();
            heapwrapFailNth(armed);
            heapwrapFailIndexNth(indexArmed);
            VRDentity e{};
            int32_t result = VRDstringCreate(batch[i].c_str(), &e);
            if (armed && heapwrapCalls() > calls && result != 0) ++reported;
            if (indexArmed && heapwrapIndexCalls() > indexCalls) ++absorbed;
            heapwrapFailNth(0);
            heapwrapFailIndexNth(0);
            ASSERT_TRUE(result == 0 || VRDstringCreate(batch[i].c_str(), &e) == 0) << batch[i];  // the retry
            EXPECT_EQ(e, entity(kStr | offsetOf.at(batch[i]))) << batch[i];
        }
        EXPECT_EQ(takeReports(), std::vector<Report>(reported, {"VRDstringCreate", VRD_E_NOMEM}));
        EXPECT_TRUE(!failing || (absorbed > 0 && reported > 0)) << absorbed << " " << reported;
        if (&batch == &texts) return;  // once every text is in, the area is checked whole
        ASSERT_EQ(vrd::stringFigures(store).bytesUsed, used);
        for (uint32_t b = 0; b < 1024; ++b) {
            std::vector<int32_t> walked(vrd::stringChain(store, b, nullptr, 0));
            vrd::stringChain(store, b, walked.data(), static_cast<uint32_t>(walked.size()));
            EXPECT_EQ(walked, chains[b]) << b;
        }
        for (const auto &[t, offset] : offsetOf)
            EXPECT_TRUE(VRDstringFind(t.c_str()) == entity(kStr | offset) && VRDidFind((t + "?").c_str()).first == 0)
                << t;
    };
    std::string path = vrdtest::scratchPath("strings.bin");
    create(texts, false);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    create(more, false);
    ASSERT_TRUE(vrd::hasStringLookup(store));  // the read replaces the area under a live lookup
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    create(more, true);
    // The longest chain with its greatest entry moved to the head, read back: once a text past them all
    // has made the walk long, the walk still stops at the head for every other text.
    uint32_t longest = 0;
    for (uint32_t b = 0; b < 1024; ++b) longest = chains[b].size() > chains[longest].size() ? b : longest;
    const std::vector<int32_t> &moved = chains[longest];
    ASSERT_GE(moved.size(), 16u);
    int32_t greatest = moved.back(), end = -1;
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    {  // the file ends with the text block, its index and two empty number sections
        std::FILE *file = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fseek(file, 0, SEEK_END);
        long index = std::ftell(file) - 8 - 4096, text = index - used;
        auto put = [file](long at, int32_t word) { std::fseek(file, at, SEEK_SET), std::fwrite(&word, 4, 1, file); };
        put(index + 4 * static_cast<long>(longest), greatest);
        put(text + greatest, moved[0]);
        put(text + moved[moved.size() - 2], end);
        std::fclose(file);
    }
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    auto textAt = [](int32_t offset) { return std::string(VRDstringGetPtrValue(entity(kStr | offset))); };
    std::string head = textAt(greatest), past;  // past: after every entry, in the bucket
    for (int c = 0x101; c < 0x10000 && (past.empty() || stringHash(past.c_str()) != longest); ++c)
        past = head + char(c >> 8 | 1) + char(c | 1);
    EXPECT_TRUE(stringHash(past.c_str()) == longest && VRDstringFind(past.c_str()) == VRDnullEntity());
    for (int32_t e : moved)
        EXPECT_EQ(VRDstringFind(textAt(e).c_str()), e == greatest ? entity(kStr | e) : VRDnullEntity());
    std::remove(path.c_str());
}

using Compare = vrdtest::StoreTest;

TEST_F(Compare, ByteAndNaturalOrderOfStoredTexts) {
    struct Case { const char *a, *b; int bytes, natural; };  // each holds reversed too, negated
    const Case cases[] = {
        {"abc", "abd", -1, -1},  {"abc", "ab", 1, 1},  {"B", "a", -1, -1},      {"\x80", "z", 1, -1},
        {"x9", "x10", 1, -1},    {"1", "a", -1, -1},   {"1", "-", 1, -1},       {"file2b", "file10a", 1, -1},
        {"", "0", -1, -1},       {"a1", "a01", 1, 1},  {"007", "7", -1, -1},    {"\xE9", "5", 1, 1},
        {"\xE9", "A", 1, -1},    {"a1", "a1", 0, 0},   {"x02y", "x2z", -1, -1}, {"2147483647", "2147483646", 1, 1},
        {"99999999999", "2000000000", 1, -1},  // a run past 2^31 - 1 wraps modulo 2^32
    };
    for (const Case &c : cases) {
        VRDentity a{}, b{};
        ASSERT_TRUE(VRDstringCreate(c.a, &a) == 0 && VRDidCreate(c.b, &b) == 0);  // the kinds do not matter
        EXPECT_TRUE(VRDstrCmp(&a, &b) == c.bytes && VRDstrCmp(&b, &a) == -c.bytes) << c.a << " vs " << c.b;
        EXPECT_TRUE(VRDstrCmpNatural(&a, &b) == c.natural && naturalCmp(c.b, c.a) == -c.natural) << c.a << " " << c.b;
    }
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Compare, EqualEntitiesNeedNoTextAndMissingTextsCountAsEmpty) {
    VRDentity abc{}, empty{}, null = VRDnullEntity(), other = entity(0x18000005);
    ASSERT_TRUE(VRDstringCreate("abc", &abc) == 0 && VRDstringCreate("", &empty) == 0);
    VRDentity bad = entity(0x20000000 | 500), bad77 = entity(0x20000000 | 500, 77), badId = entity(0x28000000 | 600);
    EXPECT_TRUE(VRDstrCmp(&bad, &bad) == 0 && VRDstrCmp(&other, &other) == 0);
    EXPECT_EQ(VRDstrCmpNatural(&bad, &bad77), 0);  // the first words decide
    EXPECT_TRUE(VRDstrCmp(&null, &abc) == -1 && VRDstrCmp(&null, &empty) == 0 && takeReports().empty());
    EXPECT_TRUE(VRDstrCmp(&bad, &badId) == 0 && VRDstrCmpNatural(&abc, &bad) == 1);
    EXPECT_EQ(takeReports(), std::vector<Report>(3, {"VRDstringGetPtrValue", VRD_E_BADSTRING}));
    VRDsetCheck(0);
    EXPECT_TRUE(VRDstrCmp(&bad, &abc) == -1 && takeReports().empty());
    ASSERT_EQ(VRDkill(store, nullptr), 0);  // naturalCmp needs no store
    EXPECT_TRUE(naturalCmp("a", "b") == -1 && naturalCmp("x10", "x9") == 1 && takeReports().empty());
}

}  // namespace
