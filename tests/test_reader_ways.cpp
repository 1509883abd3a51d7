// test_reader_ways.cpp - the reader in bulk against the reader byte by byte: same stores, same reports, same places.
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/files.h"
#include "text_support.h"

namespace {

using vrdtest::slurp;

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

class ReaderWays : public vrdtest::StoreTest {
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
        std::string path = vrdtest::scratchPath("ways.txt");
        if (way.file) std::ofstream(path, std::ios::binary) << text;
        TextChannel *c = way.file ? openTextFile(path.c_str(), "r") : openTextString(text.data(), text.size());
        if (way.progress) textChannelSetProgress(c, onProgress, nullptr);
        watch = Watch{c, {}, way.switchStores ? other : nullptr};
        VRDerrorHandler(onReport);
        vrd::setReaderPlain(plain);
        Reading r{0, VRDentity{7, 7}, {}, {}};
        r.status = VRDfileReadEntity(c, target, way.intoForm ? 1 : -1, way.flags, &r.result);
        vrd::setReaderPlain(false);
        VRDerrorHandler(vrdtest::recordReport);
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

TEST_F(ReaderWays, HostileTextsReadAlikeInEveryMode) {
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
    ASSERT_EQ(vrdtest::readText("(A (PT 12345678 -7) (PT 0000000000123 +99999999999) (PT 1234567 -))", &root), 0);
    EXPECT_EQ(vrdtest::describe(root), "(A pt(12345678,-7) pt(123," +
                                           std::to_string(static_cast<int32_t>(99999999999ull & 0xFFFFFFFFu)) +
                                           ") pt(1234567,0))");
}

TEST_F(ReaderWays, TheFuzzCorpusReadsAlike) {
    for (const char *name : {"empty.vrd", "nested.vrd", "values.vrd"}) {
        std::string text = slurp(std::string(VRD_SOURCE_DIR) + "/fuzz/corpus/text/" + name);
        for (int32_t flags = 0; flags < 4; ++flags) expectSameWays(text, Way{.flags = flags, .file = flags == 3});
    }
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
