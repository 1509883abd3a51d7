// test_reader.cpp - the text reader: notation, modes, case flags, batches, limits and reports; the reader in bulk
// against the reader byte by byte: same stores, same reports, same places.
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/files.h"
#include "text_support.h"

namespace {

using namespace vrdtest;

constexpr const char *kReader = "VRDfileReadEntity";

std::vector<Report> fromReader(const std::vector<int> &codes) {
    std::vector<Report> out;
    for (int code : codes) out.push_back({kReader, code});
    return out;
}

class ReaderTest : public vrdtest::TreeTest {
protected:
    std::string readTree(const std::string &text, int32_t flags = 0) {  // the tree read, or "null"
        VRDentity root{1, 1};
        EXPECT_EQ(readText(text, &root, flags), 0) << text;
        return describe(root);
    }
};

// Free-standing texts: the tree read, the reports under the reader's name, a keyword never made.
TEST_F(ReaderTest, FreeStandingTextsGiveTheirTreeAndReports) {
    struct Row { std::string text; int flags; std::string tree;
                 std::vector<int> codes{}; const char *absent = ""; };
    std::string limit(1999, 'b'), token(2500, 'k'), cut = token.substr(0, 1999);
    const Row rows[] = {
        {"(A -17 +5 007 - + 1.5 .5 1.)", 0, "(A i:-17 i:5 i:7 i:0 i:0 r:1.5 r:0.5 r:1)"}, {"()", 0, "()"},
        {"(A 1e5 x.y 12ab 1.5x 1.2.3)", 0, "(A id:1e5 id:x.y id:12ab r:1.5 r:1.2)"}, {"((B))", 0, "( (B))"},
        {"(A . -.25 a-1 -x)", 0, "(A id:. r:-0.25 id:a-1 id:-x)"}, {"(\"s\" x)", 0, "( s:\"s\" id:x)"},
        {"(A 4294967297 2147483648 -2147483648 4294967296)", 0, "(A i:1 i:-2147483648 i:-2147483648 i:0)"},
        {"  \r\n(1.5 \"a (b)\nc\" \"\" 2)\t\n", 0, "(1.5 s:\"a (b)\nc\" s:\"\" i:2)"}, {"(", 0, "null"},
        {"(A (PT 3 -4) (pt 1 2) (Pt +7 -0) (pT))", 0, "(A pt(3,-4) pt(1,2) pt(7,0) pt(0,0))", {}, "pT"},
        {"(A (pt 1 2))", 1, "(A pt(1,2))", {}, "PT"}, {"(A (PT 1 2))", 2, "(a pt(1,2))", {}, "pt"},
        {" (PT 1 2) ", 0, "pt(1,2)", {}, "PT"}, {"(A (PTX 1 2))", 0, "(A (PTX i:1 i:2))"},
        {"(A (PT 1 2))", 4, "(A (PT i:1 i:2))"},  // other bits alone: the tag must be "pt"
        {"(A (PT 1 2 3))", 0, "(A pt(1,2) i:3)", {-6, -8}}, {"(AB DE \"GH\")", 2, "(ab id:de s:\"GH\")"},
        {"(abc x\xE9t\xC9 \"ghi\")", 1, "(ABC id:X\xE9T\xC9 s:\"ghi\")"},  // the C locale maps ASCII only
        {"(A 1\xB2 2\xC0 3\xD7 -0\xB9)", 0, "(A id:1\xB2 id:2\xC0 id:3\xD7 id:-0\xB9)"},  // ASCII digits only
        {"(A \x01 \x7F \x80 b\x80\x01z \xFE)", 0, "(A id:b\x80\x01z)"}, {"(A 1)\xFF junk", 0, "(A i:1)"},
        {"(A \"ab\xFF\" 2)", 0, "(A s:\"ab\")", {-7, -9}}, {"(A 1) (Z 2)", 0, "(A i:1)", {-8}, "Z"},
        {"junk more (A 1)", 0, "(A i:1)", {-5}}, {"junk", 0, "null", {-5, -4}},
        {"(A 1 (B 2 (C 3", 0, "(A i:1 (B i:2 (C i:3)))", {-9, -9, -9}}, {"(aB cD)", 3, "(Ab id:Cd)"},
        // At 1999 characters a string ends; its closing quote opens another one.
        {"(A \"" + limit + "c\" 5)", 0, "(A s:\"" + limit + "\" id:c s:\" 5)\")", {-7, -7, -9}},
        // Over-long keywords and tokens are cut at 1999 characters without a report.
        {"(" + token + " " + token + "x 7)", 0, "(" + cut + " id:" + cut + " i:7)"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(readTree(row.text, row.flags), row.tree) << row.text;
        EXPECT_EQ(takeReports(), fromReader(row.codes)) << row.text;
        EXPECT_TRUE(!*row.absent || VRDkeyFind(row.absent) == VRD_NO_KEY) << row.text;
    }
}

TEST_F(ReaderTest, NestingDeeperThanTheStacksStopsWithOneReport) {
    std::string open, close(49, ')');
    for (int i = 0; i < 49; ++i) open += "(F" + std::to_string(i) + " ";
    VRDentity root{};
    ASSERT_EQ(readText(open + "1" + close, &root), 0);  // 49 nested forms fit, each owned by its holder
    EXPECT_TRUE(takeReports().empty() && VRDformGetOwner(root) == VRDnullEntity());
    VRDentity f = root;
    for (int i = 0; i < 48; ++i, f = VRDformGetEntity(f, 0))
        ASSERT_EQ(VRDformGetOwner(VRDformGetEntity(f, 0)), f);
    EXPECT_EQ(describe(f), "(F48 i:1)");
    // The 50th is one too many: -9 once, what was read stays, nothing after is read.
    ASSERT_EQ(readText("(G 1 " + open + "(X 2) 3" + close + ")", &root), 0);
    EXPECT_EQ(takeReports(), fromReader({-9}));
    EXPECT_EQ(describe(root), "(G i:1 " + open.substr(0, open.rfind(" (F48")) + std::string(49, ')'));
    EXPECT_EQ(VRDkeyFind("X"), VRD_NO_KEY);  // nothing after it was read
    EXPECT_EQ(readText(std::string(5000, '('), &root), 0);  // far deeper: still no overrun
    EXPECT_EQ(takeReports(), fromReader({-9}));
    // A point group takes a parse state of its own: it fits inside 48 forms, not 49.
    ASSERT_EQ(readText(open.substr(0, open.rfind("(F48")) + "(PT 1 2)", &root), 0);
    EXPECT_EQ(takeReports(), std::vector<Report>(48, Report{kReader, -9}));
    ASSERT_EQ(readText(open + "(PT 1 2)", &root), 0);
    EXPECT_EQ(takeReports(), fromReader({-9}));
}

TEST_F(ReaderTest, IntoAFormEntitiesArriveInTextOrderAtThePosition) {
    // 120 entities go over in batches (50, 50, 20), each after the one before.
    std::string text, tree;
    for (int i = 0; i < 120; ++i) text += std::to_string(i) + " ", tree += " i:" + std::to_string(i);
    EXPECT_EQ(readTree("(A " + text + ")"), "(A" + tree + ")");
    VRDentity target = form("T"), first{};
    add(target, {integer(1000), integer(1001), integer(1002), integer(1003), integer(1004)});
    ASSERT_EQ(readText(text, &first, 0, target, 3), 0);
    EXPECT_TRUE(takeReports().empty() && first == VRDformGetEntity(target, 3) &&
                describe(target) == "(T i:1000 i:1001 i:1002" + tree + " i:1003 i:1004)");
    VRDentity other = form("U");
    ASSERT_EQ(readText("1 2) 3", &first, 0, other), 0);  // the target's own ")" ends the reading
    EXPECT_EQ(takeReports(), fromReader({-8}));
    ASSERT_EQ(readText("(B 1", &first, 0, other), 0);  // an unclosed nested form is reported, the target not
    EXPECT_EQ(takeReports(), fromReader({-9}));
    EXPECT_TRUE(describe(other) == "(U i:1 i:2 (B i:1))" && first == VRDformGetEntity(other, 2) &&
                VRDformGetOwner(first) == other);
    ASSERT_EQ(readText("  ", &first, 0, other), 0);  // nothing to read, nothing reported
    EXPECT_TRUE(first == VRDnullEntity() && takeReports().empty());
}

TEST_F(ReaderTest, FailuresOfTheStoreEndTheReadingWithOne) {
    VRDentity root{}, bad{0x80000000u | 99, 0};
    heapwrapFailNth(2);  // after the channel, the keyword table cannot be made
    EXPECT_EQ(readText("(A 1)", &root), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", -2}}));
    EXPECT_TRUE(readText("(B)", &root, 0, bad) == 1 && readText("1 2", &root, 0, bad) == 1);  // names no form
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", -9}, {"VRDformAddEntities", -9}}));
    // Each allocation failing in turn: 1, or 0 when only a coordinate table was refused.
    int failed = 0;
    for (long n = 1; n < 40; ++n) {
        ASSERT_TRUE(VRDkill(nullptr, "test") == 0 && VRDnew("test") != nullptr);
        heapwrapFailNth(n + 1);  // the string channel takes the first allocation
        int32_t status = readText("(A \"s\" 1.5 123456789012 (B (PT 1 2) x) 7)", &root);
        std::vector<Report> seen = takeReports();
        if (status == 0 && seen.empty()) break;  // past the last allocation
        ASSERT_TRUE(!seen.empty() && seen.back().code == -2) << n;
        const std::string &by = seen.back().routine;
        EXPECT_TRUE(status == 1 || by == "newxcoord" || by == "newycoord") << n;
        failed += status == 1;
    }
    heapwrapFailNth(0);  // the last round armed a failure no allocation reached
    EXPECT_GE(failed, 8);
    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    EXPECT_TRUE(readText("(A)", &root) == 1 && root == VRDnullEntity());
    EXPECT_EQ(takeReports(), fromReader({-3}));
    EXPECT_EQ(addReadEntity(&root, VRDentity{0x18000000u, 0}), 1);  // no reading under way
}

// What a reading did, as a host sees it: its result, each report and
// progress call with the channel's place at that moment, and every store
// byte for byte (their binary dumps).
struct Reading {
    int32_t status;
    VRDentity result;
    std::vector<std::string> events;
    std::vector<std::string> dumps;
};

struct Watch {
    TextChannel *channel = nullptr;
    std::vector<std::string> events;
    VRDstore *switchTo = nullptr;  // made current at the first report or progress call
    void note(const std::string &what) {
        long line = 0, column = 0;
        textChannelPosition(channel, &line, &column);
        events.push_back(what + " at " + std::to_string(line) + ":" + std::to_string(column));
        if (switchTo != nullptr) VRDset(std::exchange(switchTo, nullptr), nullptr);
    }
};
Watch watch;

void VRD_CALL onReport(const char *routine, int code) { watch.note(std::string(routine) + " " + std::to_string(code)); }
void VRD_CALL onProgress(void *, size_t bytes) { watch.note("progress " + std::to_string(bytes)); }

struct Way {
    int32_t flags = 0;
    bool intoForm = false, file = false, progress = false;
    bool switchStores = false;  // the first report or progress call makes another store current
};

class ReaderWays : public StoreTest {
protected:
    // Reads `text` into fresh stores the plain or the bulk way.
    Reading read(const std::string &text, const Way &way, bool plain) {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        // Both stores hold the target form T, so a reading that moves to
        // the other store goes on there; their texts lie at other offsets.
        VRDstore *other = VRDnew("other");
        VRDentity e, target{};
        EXPECT_EQ(VRDidCreate("elsewhere", &e), 0);
        EXPECT_EQ(VRDformCreate(VRDentity{}, VRD_NO_KEY, "T", &target), 0);
        VRDstore *main = VRDnew("main");
        EXPECT_EQ(VRDformCreate(VRDentity{}, VRD_NO_KEY, "T", &target), 0);
        EXPECT_EQ(VRDformAddInt(target, kEnd, 1, &e), 0);
        EXPECT_EQ(VRDformAddInt(target, kEnd, 2, &e), 0);
        if (!way.intoForm) target = VRDentity{};
        std::string path = scratchPath("ways.txt");
        if (way.file) std::ofstream(path, std::ios::binary) << text;
        TextChannel *c = way.file ? openTextFile(path.c_str(), "r") : openTextString(text.data(), text.size());
        if (way.progress) textChannelSetProgress(c, onProgress, nullptr);
        watch = Watch{c, {}, way.switchStores ? other : nullptr};
        VRDerrorHandler(onReport);
        vrd::setReaderPlain(plain);
        Reading r{0, VRDentity{7, 7}, {}, {}};
        r.status = VRDfileReadEntity(c, target, way.intoForm ? 1 : -1, way.flags, &r.result);
        vrd::setReaderPlain(false);
        VRDerrorHandler(recordReport);
        closeTextFile(c);
        r.events = watch.events;
        for (VRDstore *s : {main, other}) {
            std::remove(path.c_str());
            EXPECT_TRUE(VRDset(s, nullptr) == 0 && VRDfileWriteBinary(path.c_str()) == 0);
            r.dumps.push_back(slurp(path));
        }
        std::remove(path.c_str());
        return r;
    }

    void expectSameWays(const std::string &text, const Way &way) {
        Reading plain = read(text, way, true), bulk = read(text, way, false);
        std::string what = text.substr(0, 200);
        EXPECT_EQ(bulk.status, plain.status) << what;
        EXPECT_EQ(bulk.result, plain.result) << what;
        EXPECT_EQ(bulk.events, plain.events) << what;
        EXPECT_TRUE(bulk.dumps == plain.dumps) << what;
    }
    static constexpr uint32_t kEnd = 0xFFFFFFFFu;
};

// Texts made of the notation's hard parts: bad points, cut and unended
// strings, reals the C library reads oddly, bytes that cannot start a
// token, 0xFF, case, over-long tokens and strings, deep nesting.
std::string hostileText(std::mt19937 &rng, size_t size) {
    static const char *const pieces[] = {
        "(", ")", "(", ")", " ", "\n", "\t", "\r\n", "\v\f", "(PT 1 2)", "(pt -3 +4)", "(Pt 5)", "(PT)", "(PT 1 2 3)",
        "(PT -)", "(PT 12x 3)", "(PT 1-2)", "(PT\t7\n8 )", "(PTX 1 2)", "(PT 1 2", "1.5", "-0.0", ".5", "1.", "1e5",
        "1.5e3", "1.5ex", "0x1.8p3", "inf.", "nan(1).", "1.2.3", "1.5x", "-.", "12ab.5", "4.9e-324.", "1e400.",
        "-17", "+5", "-", "4294967297", "134217728", "abc", "aBc", "x\xE9t\xC9", "\x01", "\x7F", "\x80", "b\x80\x01z",
        "\xFF", "\"str\"", "\"\"", "\"a (b)\nc\"", "\"open", "(KEY", "( )", "metal1", "metal1", "metal2", "R0"};
    std::string s;
    while (s.size() < size) {
        unsigned k = rng() % 100;
        if (k < 90)
            s += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        else if (k < 95)
            s += " " + std::to_string(static_cast<int32_t>(rng()));
        else if (k < 97)
            s += static_cast<char>(rng());
        else if (k < 98)
            s += "\"" + std::string(1990 + rng() % 20, 'q') + "\"";
        else if (k < 99)
            s += " " + std::string(1990 + rng() % 20, 'k') + " ";
        else
            s += std::string(rng() % 60, '(');
    }
    return s;
}

TEST_F(ReaderWays, HostileTextsAndTheFuzzCorpusReadAlikeInEveryMode) {
    for (const char *name : {"empty.vrd", "nested.vrd", "values.vrd"}) {
        std::string text = slurp(std::string(VRD_SOURCE_DIR) + "/fuzz/corpus/text/" + name);
        for (int32_t flags = 0; flags < 4; ++flags) expectSameWays(text, Way{.flags = flags, .file = flags == 3});
    }
    std::mt19937 rng(2024);
    for (int i = 0; i < 150; ++i) {
        std::string text = hostileText(rng, rng() % 3000);
        if (i % 2 == 0) text = "(ROOT " + text;
        VRDsetCheck(i % 4 != 3);
        expectSameWays(text, Way{.flags = static_cast<int32_t>(rng() % 4) | (i % 7 == 0 ? 4 : 0), .intoForm = i % 3 == 0,
                                 .file = i % 5 == 0, .switchStores = i % 11 == 0});
    }
}

// After a report the handler makes the other store current: repeated
// identifiers and keywords must then be found again in that store, not taken
// from what the reading met before.  Every text goes on into the other
// store's T.  The keys met before the switch belong to the main store, where
// J and K come after T; in the other store K is made anew after T, so an old
// key would name no keyword there.
TEST_F(ReaderWays, AStoreMadeCurrentByTheHandlerIsFollowed) {
    std::string cut = "\"" + std::string(1999, 'q');  // -7 after 1999 characters, then the reading goes on
    for (const std::string &text :
         {std::string("abc x (PT 1 2 3) abc x)"), "abc " + cut + " abc x)", std::string("x (PT 9 (B abc) abc x"),
          "(J 0) (K 1) " + cut + " (K 2) (L 3) (K 4) (J 5))", "(J (K (K x) (J y))) " + cut + " (K (J z) (K w)))",
          std::string("(J 0) (K (PT 1 2 3) (K 4) (J 5) 6) (K 7))")}) {
        expectSameWays(text, Way{.intoForm = true});
        expectSameWays(text, Way{.intoForm = true, .switchStores = true});
        EXPECT_FALSE(read(text, Way{.intoForm = true, .switchStores = true}, false).events.empty()) << text;
    }
    // Likewise a progress hook that makes it current, at the first MiB,
    // which falls among the target's own entities.
    std::string text;
    while (text.size() < 1040000) text += "(B abc x abc x abc x abc x abc x abc x)\n";
    while (text.size() < 1060000) text += " abc x";
    expectSameWays(text, Way{.intoForm = true, .progress = true, .switchStores = true});
}

// Point coordinates of every length, sign and leading zeros, each group
// ending at every distance from the end of the bytes at hand: the one-step
// reading of short coordinates and the digit loop give the same points.
TEST_F(ReaderWays, PointCoordinatesOfEveryLengthReadAlike) {
    std::vector<std::string> numbers = {"", "-", "+", "0", "-0", "7", "-7", "+12", "00000012"};
    std::string digits = "98765432109876543210";
    for (size_t n = 1; n <= digits.size(); ++n) {
        numbers.push_back(digits.substr(0, n));
        numbers.push_back("-" + digits.substr(digits.size() - n));
        numbers.push_back("000" + digits.substr(3, n));
    }
    std::string text = "(A";
    for (size_t i = 0; i < numbers.size(); ++i)
        text += " (PT " + numbers[i] + " " + numbers[(i * 7 + 3) % numbers.size()] + ")";
    for (size_t cut = 0; cut < 12; ++cut) {  // the last group ever closer to the end
        std::string tail = " (PT " + numbers[cut + 9] + " 1" + numbers[cut + 12] + ")";
        expectSameWays(text + tail + ")", Way{});
        expectSameWays(text + tail, Way{.intoForm = true});
    }
    expectSameWays(text + ")", Way{.file = true});
    // And the values themselves, wrapped in 32 bits as the digit loop wraps them.
    VRDentity root{};
    ASSERT_EQ(readText("(A (PT 12345678 -7) (PT 0000000000123 +99999999999) (PT 1234567 -))", &root), 0);
    EXPECT_EQ(describe(root), "(A pt(12345678,-7) pt(123," +
                                           std::to_string(static_cast<int32_t>(99999999999ull & 0xFFFFFFFFu)) +
                                           ") pt(1234567,0))");
}

// A long balanced text read from a file: it crosses the file's blocks and
// a progress step, which the plain way takes byte by byte.
TEST_F(ReaderWays, LongFilesCrossBlocksAndProgressStepsAlike) {
    std::mt19937 rng(99);
    const char *const pieces[] = {"(A ", "(B 1 2 ", ")", ")", "(PT 1 2)", " (pt -3 +4)", " (PT\t7\n8 )", " 1.5", " 7",
                                  " abc", " abc", " \"s t\"", "\n  ", " (PT -)", " 1.5x", " 12ab.5", " x\xE9"};
    std::string text = "(ROOT";
    int depth = 1;
    while (text.size() < 1200000) {
        std::string piece = pieces[rng() % (sizeof pieces / sizeof *pieces)];
        int change = 0;
        for (char ch : piece) change += ch == '(' ? 1 : ch == ')' ? -1 : 0;
        if (depth + change < (depth < 3 ? depth : 2) || depth + change > 12) continue;  // few entities per form
        depth += change;
        text += piece;
    }
    expectSameWays(text, Way{.file = true, .progress = true});
    expectSameWays(text, Way{.flags = 1, .intoForm = true, .file = true, .progress = true});
}

}  // namespace
