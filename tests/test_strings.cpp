// test_strings.cpp - the string area: interning, hashing, growth, reading, chunks and lookups.
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
using Call = std::pair<const char *, bool (*)(VRDentity)>;
constexpr Call kCalls[] = {
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
    // Stores a new text and tells whether that took the memory layer: the block grew.
    bool grows(const std::string &text) {
        long calls = heapwrapCalls();
        make(text);
        return heapwrapCalls() != calls;
    }
};

TEST_F(Strings, EachTextIsStoredOnceInASortedChain) {
    VRDentity id{};
    EXPECT_TRUE(VRDstringFind("abc") == VRDnullEntity() && VRDidFind("abc") == VRDnullEntity());
    EXPECT_EQ(make("abc"), entity(kStr));  // the finds made nothing: the first entry is at 0
    ASSERT_EQ(VRDidCreate("new", &id), 0);  // after link word, three bytes, zero
    EXPECT_EQ(id, entity(kId | 8));
    EXPECT_EQ(make("new"), entity(kStr | 8));
    EXPECT_EQ(make(""), entity(kStr | 16));  // the empty text: a 5-byte entry
    EXPECT_EQ(make("z"), entity(kStr | 21));
    EXPECT_EQ(make("abc"), entity(kStr));
    EXPECT_STREQ(VRDstringGetPtrValue(VRDidFind("new")), "new");
    // Bytes hash as signed; texts of one bucket, made out of order, chain in unsigned byte order.
    const std::pair<const char *, uint32_t> hashes[] = {{"", 0}, {"A", 33}, {"AB", 892}, {"abc", 667}, {"\xE9", 969}};
    for (auto [text, bucket] : hashes) EXPECT_EQ(stringHash(text), bucket) << text;
    for (const char *t : {"\xE9x", "A\x88", "c&", "aZ", "b@"}) make(t);
    const std::vector<std::string> sorted[] = {{"A\x88", "\xE9x"}, {"aZ", "b@", "c&"}};
    for (const auto &want : sorted) {
        std::vector<std::string> chain;
        for (int32_t e = store->stringIndex[stringHash(want[0].c_str())]; e >= 0; e = vrd::stringLinkAt(store, e))
            chain.emplace_back(vrd::stringTextAt(store, e));
        EXPECT_EQ(chain, want);
        for (const std::string &t : want) EXPECT_STREQ(VRDstringGetPtrValue(VRDstringFind(t.c_str())), t.c_str());
    }
}

TEST_F(Strings, BlockGrowsAtAnExactFitByTheLargerOfNeedAndStep) {
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
    EXPECT_EQ(VRDstringCreate(tail, &e), 1);
    EXPECT_EQ(e, entity(7, 7));
    EXPECT_EQ(takeReports(), std::vector<Report>(3, {"VRDstringCreate", VRD_E_NOMEM}));
    ASSERT_EQ(VRDstringCreate(tail, &e), 0);  // the failure took nothing: still at 7059
    EXPECT_EQ(e, entity(kStr | 7059));
    EXPECT_STREQ(VRDstringGetPtrValue(e), "bc");
}

TEST_F(Strings, CapacityNeverReachesTwoToTheTwentySeventhMinusOne) {
    std::string text(0x7FFFFFF - 5, 'l');  // need 2^27 - 1: refused
    VRDentity e{1, 2};
    EXPECT_EQ(VRDstringCreate(text.c_str(), &e), 1);
    EXPECT_EQ(e, entity(1, 2));
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
    // The null entity is no error; offsets 15 (stringUsed) and 0x7FFFFFF are reported when
    // checked; 12, inside the last entry's final bytes, is refused without a report.
    const std::pair<uint32_t, bool> cases[] = {{0, 0}, {kStr | 15, 1}, {kStr | 0x7FFFFFF, 1}, {kStr | 12, 0}};
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        for (auto [first, reported] : cases)
            for (const auto &[name, run] : std::span(kCalls).first(6)) {
                if (first == 0 && run == kCalls[5].second) continue;  // creation refuses the null entity
                EXPECT_TRUE(run(entity(first))) << name << " " << first;
                std::vector<Report> want;
                if (check == 1 && reported) want.push_back({name, VRD_E_BADSTRING});
                EXPECT_EQ(takeReports(), want) << first;
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

// Twelve thousand texts in scrambled order: three prefixes (one of high bytes),
// numbers that repeat, every other one ending in 0xFF.
std::vector<std::string> scrambledTexts() {
    std::vector<std::string> texts;
    uint32_t x = 12345;
    for (int i = 0; i < 12000; ++i) {
        x = x * 1103515245u + 12345u;
        uint32_t r = x >> 8;
        texts.push_back((i % 3 == 0 ? "node/" : i % 3 == 1 ? "n" : "\xE9t\x81/") + std::to_string(r % 9000) +
                        ((r & 1) != 0 ? "\xFF" : ""));
    }
    return texts;
}

// The one answer a large area may give: entries at first-creation offsets,
// each chain complete and strictly ascending, every text found, whether
// lookups walked, searched, or lost their lookup memory to a failed
// allocation, and after a binary round trip; a file whose chain is out of
// order is still walked, stopping at the first greater text.
TEST_F(Strings, LargeAreasKeepTheChainWalksAnswers) {
    std::vector<std::string> texts = scrambledTexts(), more;
    for (const std::string &t : texts) more.push_back(t + "+");
    std::map<std::string, uint32_t> offsetOf;
    uint32_t used = 0;
    for (const auto *batch : {&texts, &more})
        for (const std::string &t : *batch)
            if (offsetOf.emplace(t, used).second) used += static_cast<uint32_t>(t.size()) + 5;
    // Failing, every 100th creation arms one allocation failure, kept armed
    // until a call takes it: the block's growth (reported, then retried) or
    // the lookup memory (absorbed silently).
    auto create = [&](VRDstore *in, const std::vector<std::string> &all, bool failing) {
        ASSERT_EQ(VRDset(in, nullptr), 0);
        int absorbed = 0;
        long failsAt = 0;  // the allocation call armed to fail, 0 when none
        for (size_t i = 0; i < all.size(); ++i) {
            if (failing && failsAt == 0 && i % 100 == 0) {
                heapwrapFailNth(1);
                failsAt = heapwrapCalls() + 1;
            }
            VRDentity e{};
            if (VRDstringCreate(all[i].c_str(), &e) == 0) {
                absorbed += failsAt != 0 && heapwrapCalls() >= failsAt;
            } else {
                ASSERT_EQ(VRDstringCreate(all[i].c_str(), &e), 0);
            }
            if (heapwrapCalls() >= failsAt) failsAt = 0;
            EXPECT_EQ(e, entity(kStr | offsetOf.at(all[i]))) << all[i];
        }
        heapwrapFailNth(0);
        EXPECT_GT(absorbed, failing ? 50 : -1);
        for (const Report &r : takeReports()) EXPECT_EQ(r, (Report{"VRDstringCreate", VRD_E_NOMEM}));
    };
    auto chain = [](VRDstore *in, uint32_t bucket) {
        std::vector<int32_t> entries;
        for (int32_t e = in->stringIndex[bucket]; e >= 0; e = vrd::stringLinkAt(in, e)) entries.push_back(e);
        return entries;
    };
    uint32_t longest = 0;
    auto verify = [&](VRDstore *in) {
        ASSERT_EQ(VRDset(in, nullptr), 0);
        ASSERT_EQ(in->stringUsed, static_cast<int32_t>(used));
        size_t listed = 0;
        for (uint32_t b = 0; b < 1024; ++b) {
            std::vector<int32_t> entries = chain(in, b);
            for (size_t i = 0; i < entries.size(); ++i) {
                const char *text = vrd::stringTextAt(in, entries[i]);
                EXPECT_EQ(stringHash(text), b);
                EXPECT_TRUE(i == 0 || std::strcmp(vrd::stringTextAt(in, entries[i - 1]), text) < 0) << text;
            }
            listed += entries.size();
            if (entries.size() > chain(in, longest).size()) longest = b;
        }
        EXPECT_EQ(listed, offsetOf.size());
        for (const auto &[t, offset] : offsetOf) {
            EXPECT_EQ(VRDstringFind(t.c_str()), entity(kStr | offset));
            EXPECT_EQ(VRDidFind((t + "?").c_str()), VRDnullEntity());
        }
    };
    VRDstore *copy = VRDnew("copy");
    std::string path = vrdtest::scratchPath("strings.bin");
    VRDentity e;
    for (const std::string &t : more) ASSERT_EQ(VRDstringCreate(t.c_str(), &e), 0);  // the read replaces this area
    create(store, texts, false);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    ASSERT_EQ(VRDset(copy, nullptr), 0);
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    create(copy, more, false);
    create(store, more, true);
    verify(store);
    verify(copy);
    EXPECT_EQ(std::memcmp(copy->stringText, store->stringText, used), 0);
    EXPECT_EQ(std::memcmp(copy->stringIndex, store->stringIndex, 4096), 0);

    // The longest chain with its greatest entry moved to the head, read back:
    // a walk stops there for every other text, which a search would find.
    std::vector<int32_t> moved = chain(store, longest);
    ASSERT_GE(moved.size(), 16u);
    int32_t greatest = moved.back(), end = -1;
    store->stringIndex[longest] = greatest;
    std::memcpy(store->stringText + greatest, &moved[0], sizeof greatest);
    std::memcpy(store->stringText + moved[moved.size() - 2], &end, sizeof end);
    ASSERT_EQ(VRDset(store, nullptr), 0);
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    ASSERT_EQ(VRDset(copy, nullptr), 0);
    ASSERT_EQ(VRDfileReadBinary(path.c_str()), 0);
    std::string past;  // greater than all, in the same bucket: the walk passes every entry
    for (int c = 1; c < 0x10000 && past.empty(); ++c) {
        std::string t = std::string(vrd::stringTextAt(copy, greatest)) + char(c >> 8 | 1) + char(c);
        if (char(c) != 0 && stringHash(t.c_str()) == longest) past = t;
    }
    EXPECT_EQ(VRDstringFind(past.c_str()), VRDnullEntity());
    for (int32_t e : moved)
        EXPECT_EQ(VRDstringFind(vrd::stringTextAt(copy, e)), e == greatest ? entity(kStr | e) : VRDnullEntity());
    std::remove(path.c_str());
}

}  // namespace
