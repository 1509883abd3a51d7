// test_strings.cpp - the string area: interning, hashing, growth, reading, chunks and lookups.
#include <string>

#include "pools/pools.h"
#include "support.h"

namespace {
using vrdtest::entity;
using vrdtest::Report;

class Strings : public vrdtest::StoreTest {
protected:
    VRDentity make(const std::string &text) {
        VRDentity e{0xDEAD, 0xBEEF};
        EXPECT_EQ(VRDstringCreate(text.c_str(), &e), 0) << text;
        return e;
    }
    std::string read(VRDentity e) {
        const char *p = VRDstringGetPtrValue(e);
        return p == nullptr ? std::string("<null>") : std::string(p);
    }
    // The area's counters, read from the store record: the growth steps and
    // bounds are part of the binary file and the statistics report.
    int32_t used() const { return store->stringUsed; }
    int32_t capacity() const { return store->stringCapacity; }
    // Texts of the bucket's chain, head first.
    std::vector<std::string> chain(uint32_t bucket) const {
        std::vector<std::string> texts;
        for (int32_t e = store->stringIndex[bucket]; e >= 0; e = vrd::stringLinkAt(store, e))
            texts.emplace_back(vrd::stringTextAt(store, e));
        return texts;
    }
};

TEST_F(Strings, EachTextIsStoredOnceAndSharedByBothKinds) {
    VRDentity abc = make("abc");
    EXPECT_EQ(abc, entity(0x20000000));
    EXPECT_EQ(used(), 8);  // link word, three bytes, zero
    EXPECT_EQ(make("abc"), abc);
    EXPECT_EQ(used(), 8);

    VRDentity id{};
    ASSERT_EQ(VRDidCreate("abc", &id), 0);
    EXPECT_EQ(id, entity(0x28000000));
    EXPECT_EQ(VRDentityEqual(abc, id), 0);

    ASSERT_EQ(VRDidCreate("new", &id), 0);  // identifier first, string after
    EXPECT_EQ(id, entity(0x28000000 | 8));
    EXPECT_EQ(make("new"), entity(0x20000000 | 8));

    VRDentity empty = make("");  // a 5-byte entry, a valid text
    EXPECT_EQ(empty, entity(0x20000000 | 16));
    EXPECT_EQ(used(), 21);
    EXPECT_EQ(read(empty), "");
    EXPECT_EQ(chain(0).front(), "");
    EXPECT_EQ(read(id), "new");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Strings, HashTakesBytesAsSignedAndChainsKeepUnsignedOrder) {
    EXPECT_EQ(stringHash(""), 0u);
    EXPECT_EQ(stringHash("A"), 33u);
    EXPECT_EQ(stringHash("AB"), 892u);
    EXPECT_EQ(stringHash("abc"), 667u);
    EXPECT_EQ(stringHash("\xE9"), 969u);

    // 0x41 against 0xE9 in front, balanced by the last byte: one bucket.
    const char *low = "A\x88";
    const char *high = "\xE9x";
    ASSERT_EQ(stringHash(low), stringHash(high));
    make(high);
    make(low);
    EXPECT_EQ(chain(stringHash(low)), (std::vector<std::string>{low, high}));

    // Raising the first byte by one and lowering the second by 26 keeps the
    // bucket; inserted last, first, middle, they still chain in order.
    ASSERT_EQ(stringHash("aZ"), stringHash("b@"));
    ASSERT_EQ(stringHash("aZ"), stringHash("c&"));
    make("c&");
    make("aZ");
    make("b@");
    EXPECT_EQ(chain(stringHash("aZ")), (std::vector<std::string>{"aZ", "b@", "c&"}));
    EXPECT_EQ(read(VRDstringFind("b@")), "b@");
}

TEST_F(Strings, BlockGrowsByTheLargerOfNeedAndStep) {
    make("abc");
    EXPECT_EQ(capacity(), 2030);
    long calls = heapwrapCalls();
    make(std::string(2012, 'a'));  // 8 + 2017 < 2030: fits
    EXPECT_EQ(heapwrapCalls(), calls);
    EXPECT_EQ(used(), 2025);
    VRDentity empty = make("");  // 2025 + 5 == 2030: grows, the test is >=
    EXPECT_EQ(heapwrapCalls(), calls + 1);
    EXPECT_EQ(capacity(), 4060);
    EXPECT_EQ(empty, entity(0x20000000 | 2025));
    make(std::string(3000, 'b'));  // need 3005 > 2030: grows by exactly the need
    EXPECT_EQ(capacity(), 7065);
    EXPECT_EQ(used(), 5035);
    EXPECT_EQ(read(VRDstringFind("abc")), "abc");
}

TEST_F(Strings, CapacityNeverReachesTwoToTheTwentySeventhMinusOne) {
    // need = length + 5; a capacity of 0x7FFFFFF or more is refused.
    std::string refused(0x7FFFFFF - 5, 'r');
    VRDentity e{1, 2};
    EXPECT_EQ(VRDstringCreate(refused.c_str(), &e), 1);
    EXPECT_EQ(e, entity(1, 2));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringCreate", VRD_E_TOOMANYSTRINGS}}));
    EXPECT_EQ(VRDlastError(), VRD_E_TOOMANYSTRINGS);
    EXPECT_EQ(used(), 0);
    EXPECT_TRUE(VRDstringFind(refused.c_str()) == VRDnullEntity());
    refused.clear();
    refused.shrink_to_fit();

    std::string largest(0x7FFFFFF - 6, 'l');
    EXPECT_EQ(make(largest), entity(0x20000000));
    EXPECT_EQ(capacity(), 0x7FFFFFE);
    // The area is now full: no further entry could start below 2^27 - 1.
    EXPECT_EQ(VRDidCreate("x", &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringCreate", VRD_E_TOOMANYSTRINGS}}));
    EXPECT_EQ(VRDstringLength(VRDstringFind(largest.c_str())), 0x7FFFFFF - 6);
}

TEST_F(Strings, TextInsideTheAreaSurvivesTheGrowthOfItsOwnCall) {
    VRDentity phrase = make("hello world");
    make(std::string(2030 - 16 - 5 - 3, 'f'));  // leaves too little room for "world"
    ASSERT_EQ(used(), 2027);
    const char *tail = VRDstringGetPtrValue(phrase) + 6;
    VRDentity world{};
    ASSERT_EQ(VRDstringCreate(tail, &world), 0);  // grows the block while `tail` points into it
    EXPECT_EQ(capacity(), 4060);
    EXPECT_EQ(world, entity(0x20000000 | 2027));
    EXPECT_EQ(read(world), "world");
    EXPECT_EQ(read(phrase), "hello world");
    EXPECT_EQ(VRDstringFind("world"), world);
}

TEST_F(Strings, AllocationFailuresLeaveTheAreaUsable) {
    VRDentity e{7, 7};
    heapwrapFailNth(1);  // the index
    EXPECT_EQ(VRDstringCreate("a", &e), 1);
    EXPECT_EQ(e, entity(7, 7));
    EXPECT_TRUE(store->stringIndex == nullptr);
    heapwrapFailNth(2);  // the first block
    EXPECT_EQ(VRDidCreate("a", &e), 1);
    EXPECT_EQ(e, entity(7, 7));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringCreate", VRD_E_NOMEM}, {"VRDstringCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(capacity(), 0);
    EXPECT_EQ(make("a"), entity(0x20000000));

    make(std::string(2030 - 6 - 5 - 1, 'p'));  // one byte short of full
    int32_t before = used();
    heapwrapFailNth(1);  // the growth
    EXPECT_EQ(VRDstringCreate("next", &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(used(), before);
    EXPECT_EQ(capacity(), 2030);
    EXPECT_EQ(read(VRDstringFind("a")), "a");
    EXPECT_TRUE(VRDstringFind("next") == VRDnullEntity());
    EXPECT_EQ(make("next"), entity(0x20000000 | static_cast<uint32_t>(before)));

    VRDentity alpha = make("alpha beta");
    heapwrapFailNth(1);  // the splice's scratch buffer
    EXPECT_EQ(VRDstringChunkCreate(alpha, 0, 5, "x", &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringChunkCreate", VRD_E_NOMEM}}));
    EXPECT_TRUE(VRDstringFind("x beta") == VRDnullEntity());
    EXPECT_EQ(VRDstringChunkCreate(alpha, 0, 5, "x", &e), 0);
    EXPECT_EQ(read(e), "x beta");
}

TEST_F(Strings, GetValueCopiesAtMostSizeMinusOneAndZeroFills) {
    VRDentity e = make("abc");
    char buffer[10];
    std::memset(buffer, 'x', sizeof buffer);
    VRDstringGetValue(e, buffer, 8);
    EXPECT_EQ(std::string(buffer, 10), std::string("abc\0\0\0\0\0xx", 10));
    VRDstringGetValue(e, buffer, 3);
    EXPECT_STREQ(buffer, "ab");
    VRDstringGetValue(e, buffer, 1);
    EXPECT_STREQ(buffer, "");
    VRDentity alpha = make("alpha beta");
    VRDstringGetChunk(alpha, 1, 8, buffer, 4);
    EXPECT_STREQ(buffer, "lph");
    VRDstringGetChunk(alpha, 8, 9, buffer, 10);  // stops at the text's end
    EXPECT_STREQ(buffer, "ta");
    EXPECT_EQ(VRDstringLength(alpha), 10);
}

TEST_F(Strings, BadOffsetsReportUnderEachReadersName) {
    VRDentity good = make("text");
    VRDentity null = VRDnullEntity();
    char buffer[8] = "zzz";
    int32_t position = 1, length = 2;
    VRDentity out{3, 3};
    // The null entity has no text and is no error for the readers.
    VRDstringGetValue(null, buffer, 8);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(VRDstringGetPtrValue(null), nullptr);
    EXPECT_EQ(VRDstringLength(null), 0);
    EXPECT_TRUE(takeReports().empty());

    // Checked, then unchecked: an offset at stringUsed, one far past it and
    // one inside the last entry's final bytes are never read.
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        for (uint32_t offset : {9u, 0x7FFFFFFu, 6u}) {
            VRDentity bad = entity(0x20000000 | offset);
            std::strcpy(buffer, "zzz");
            VRDstringGetValue(bad, buffer, 8);
            EXPECT_STREQ(buffer, "");
            EXPECT_EQ(VRDstringGetPtrValue(bad), nullptr);
            EXPECT_EQ(VRDstringLength(bad), 0);
            std::strcpy(buffer, "zzz");
            VRDstringGetChunk(bad, 0, 1, buffer, 8);
            EXPECT_STREQ(buffer, "");
            VRDstringChunkUpdate(bad, &position, &length, 0, 0, 1);
            EXPECT_EQ(VRDstringChunkCreate(bad, 0, 0, "a", &out), 1);
        }
        EXPECT_EQ(position, 1);
        EXPECT_EQ(length, 2);
        EXPECT_EQ(out, entity(3, 3));
        EXPECT_EQ(read(good), "text");
    }
    // Offsets 9 and 0x7FFFFFF are reported; 6 is below stringUsed, refused silently.
    std::vector<Report> expected;
    for (int reported = 0; reported < 2; ++reported)
        for (const char *name : {"VRDstringGetValue", "VRDstringGetPtrValue", "VRDstringLength", "VRDstringGetChunk",
                                 "VRDstringChunkUpdate", "VRDstringChunkCreate"})
            expected.push_back({name, VRD_E_BADSTRING});
    EXPECT_EQ(takeReports(), expected);

    // Chunk creation alone refuses the null entity when checked; unchecked
    // it decodes offset 0 like any other entity.
    VRDsetCheck(1);
    EXPECT_EQ(VRDstringChunkCreate(null, 0, 0, ">", &out), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringChunkCreate", VRD_E_BADSTRING}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDstringChunkCreate(null, 0, 0, ">", &out), 0);
    EXPECT_EQ(read(out), ">text");
}

TEST_F(Strings, ChunkCreateSplicesIntoANewEntryOfTheSameKind) {
    VRDentity alpha = make("alpha beta");
    VRDentity out{};
    ASSERT_EQ(VRDstringChunkCreate(alpha, 6, 4, "gamma", &out), 0);
    EXPECT_EQ(read(out), "alpha gamma");
    EXPECT_EQ(vrd::tagOf(out), vrd::kTagString);
    ASSERT_EQ(VRDstringChunkCreate(alpha, 0, 0, ">> ", &out), 0);
    EXPECT_EQ(read(out), ">> alpha beta");
    ASSERT_EQ(VRDstringChunkCreate(alpha, 5, 5, "", &out), 0);
    EXPECT_EQ(read(out), "alpha");
    EXPECT_EQ(read(alpha), "alpha beta");  // the source entry never changes

    VRDentity id{};
    ASSERT_EQ(VRDidCreate("alpha beta", &id), 0);
    int32_t before = used();
    ASSERT_EQ(VRDstringChunkCreate(id, 6, 4, "gamma", &out), 0);
    EXPECT_EQ(out, entity(0x28000000 | (VRDstringFind("alpha gamma").first & 0x7FFFFFF)));
    EXPECT_EQ(used(), before);  // already stored: the old entry is reused
}

struct ChunkCase {
    const char *text;
    int32_t position, length, unit, first, count;
    int32_t wantPosition, wantLength;
};

TEST_F(Strings, ChunkUpdateNarrowsByCharactersWordsLinesAndFields) {
    const ChunkCase cases[] = {
        {"one two  three", 0, 14, 1, 2, 1, 4, 5},    // 'two' and its two spaces
        {"one two  three", 0, 14, 1, 4, 1, 14, 0},   // no fourth word: collapse
        {"one two  three", 0, 14, 1, 0, 2, 0, 9},    // first below 2 is the first word
        {"one two  three", 0, 14, 1, 3, 5, 9, 5},    // runs out: rest of the chunk
        {"one two  three", 0, 14, 1, 2, 0, 4, 0},    // count 0: empty at the word
        {"  one two", 0, 9, 1, 1, 1, 2, 4},          // leading whitespace skipped
        {"   ", 0, 3, 1, 1, 1, 3, 0},                // only whitespace: collapse
        {"one two  three", 4, 3, 1, 1, 2, 4, 3},     // a window ending inside the text
        {"a,b,,c", 0, 6, 5, 3, 1, 4, 0},             // the empty third field
        {"a,b,,c", 0, 6, 5, 2, 2, 2, 2},             // 'b,'
        {"a,b,,c", 0, 6, -1, 4, 1, 5, 1},            // negative units are fields
        {"a,b,", 0, 4, 3, 3, 1, 4, 0},               // separator is the chunk's last byte
        {"a,b,c", 0, 3, 3, 2, 2, 2, 1},              // the separator past the chunk ends nothing
        {"line one", 0, 8, 2, 1, 3, 0, 8},           // no line feed: the whole chunk
        {"l1\nl2\nl3", 0, 8, 2, 2, 1, 3, 2},
        {"l1\nl2\nl3", 0, 5, 2, 3, 1, 5, 0},         // strchr finds a line feed past the end
        {"abcdef", 1, 4, 0, 1, 2, 2, 2},
        {"abcdef", 1, 4, 0, 2, 9, 3, 2},             // count capped at the chunk's end
        {"abcdef", 1, 4, 0, 4, 1, 5, 0},             // first at the end: collapse
    };
    for (const ChunkCase &c : cases) {
        VRDentity e = make(c.text);
        int32_t position = c.position, length = c.length;
        VRDstringChunkUpdate(e, &position, &length, c.unit, c.first, c.count);
        EXPECT_EQ(position, c.wantPosition) << c.text << " unit " << c.unit << " first " << c.first;
        EXPECT_EQ(length, c.wantLength) << c.text << " unit " << c.unit << " first " << c.first;
    }
    // A window past the text is left alone rather than read.
    int32_t position = 3, length = 20;
    VRDstringChunkUpdate(make("short"), &position, &length, 1, 1, 1);
    EXPECT_EQ(position, 3);
    EXPECT_EQ(length, 20);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Strings, FindsStoreNothing) {
    EXPECT_TRUE(VRDstringFind("a") == VRDnullEntity());  // no index yet
    EXPECT_TRUE(VRDidFind("a") == VRDnullEntity());
    EXPECT_TRUE(store->stringIndex == nullptr);
    make("z");
    VRDentity a = make("a");
    EXPECT_EQ(VRDstringFind("a"), a);
    EXPECT_EQ(VRDidFind("a"), entity(0x28000000 | (a.first & 0x7FFFFFF)));
    EXPECT_TRUE(VRDstringFind("b") == VRDnullEntity());
    EXPECT_EQ(used(), 12);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Strings, FormAddIdStoresAnIdentifierThenAdds) {
    VRDentity form{};
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "NAMES", &form), 0);
    VRDentity out{8, 8};
    heapwrapFailNth(1);  // the string index: nothing made, the form untouched
    EXPECT_EQ(VRDformAddId(form, 0xFFFFFFFF, "first", &out), 1);
    EXPECT_EQ(out, entity(8, 8));
    EXPECT_EQ(VRDformEntityCount(form), 0u);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDstringCreate", VRD_E_NOMEM}}));

    ASSERT_EQ(VRDformAddId(form, 0xFFFFFFFF, "first", &out), 0);
    EXPECT_EQ(out, entity(0x28000000));
    ASSERT_EQ(VRDformAddId(form, 0, "second", &out), 0);
    EXPECT_EQ(VRDformEntityCount(form), 2u);
    EXPECT_EQ(VRDformGetEntity(form, 0), out);
    EXPECT_EQ(read(VRDformGetEntity(form, 1)), "first");
    EXPECT_EQ(VRDformAddId(form, 5, "third", &out), 1);  // made, but not added
    EXPECT_EQ(out, VRDidFind("third"));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_BADPOSITION}}));
}

TEST_F(Strings, EveryRoutineRefusesToRunWithoutAStore) {
    VRDentity e = make("abc");
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    VRDentity out{5, 5};
    char buffer[4] = "zz";
    int32_t position = 0, length = 3;
    EXPECT_EQ(VRDstringCreate("a", &out), 1);
    EXPECT_EQ(VRDidCreate("a", &out), 1);
    VRDstringGetValue(e, buffer, 4);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(VRDstringGetPtrValue(e), nullptr);
    EXPECT_EQ(VRDstringLength(e), 0);
    VRDstringGetChunk(e, 0, 1, buffer, 4);
    EXPECT_EQ(VRDstringChunkCreate(e, 0, 1, "x", &out), 1);
    VRDstringChunkUpdate(e, &position, &length, 0, 1, 1);
    EXPECT_TRUE(VRDstringFind("abc") == VRDnullEntity() && VRDidFind("abc") == VRDnullEntity());
    EXPECT_EQ(VRDformAddId(vrd::formEntity(0, 0), 0, "a", &out), 1);
    EXPECT_EQ(out, entity(5, 5));
    EXPECT_EQ(length, 3);
    std::vector<Report> expected;
    for (const char *name : {"VRDstringCreate", "VRDidCreate", "VRDstringGetValue", "VRDstringGetPtrValue",
                             "VRDstringLength", "VRDstringGetChunk", "VRDstringChunkCreate", "VRDstringChunkUpdate",
                             "VRDstringFind", "VRDidFind", "VRDformAddId"})
        expected.push_back({name, VRD_E_NOSTORE});
    EXPECT_EQ(takeReports(), expected);
    EXPECT_EQ(stringHash("abc"), 667u);  // needs no store
}

}  // namespace
