// test_writer.cpp - the text writer: exact layout, value forms, invalid entities, deep trees, round trips; the
// exact-real writer beside it.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "text_support.h"

namespace {

using namespace vrdtest;

uint64_t bitsOf(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

class WriterTest : public TreeTest {
protected:
    // The real in a store of its own: the real table would merge tiny values.
    VRDentity real(double v) {
        if (VRDget("real") != nullptr) VRDkill(nullptr, "real");
        EXPECT_NE(VRDnew("real"), nullptr);
        VRDentity e{};
        EXPECT_EQ(VRDrealCreate(v, &e), 0);
        return e;
    }
    VRDentity ints(VRDentity f, int from, int to) {  // f, with the integers from..to appended
        for (int i = from; i <= to; ++i) add(f, {integer(i)});
        return f;
    }
    // A random tree whose values all survive the text (no empty keyword: "( 5" reads as a form 5).
    void grow(std::mt19937 &rng, VRDentity f, int level) {
        const char *keywords[] = {"Plant", "line", "K2", "x.y", "Cell"};
        VRDentity e;
        for (int i = 0, n = static_cast<int>(rng() % (level == 0 ? 40 : 25)); i < n; ++i) {
            auto r = static_cast<int32_t>(rng());
            std::string text = std::to_string(r % 50);
            switch (rng() % 7) {
            case 0: if (level < 6) grow(rng, child(f, keywords[rng() % 5]), level + 1); break;
            case 1: ASSERT_EQ(VRDformAddInt(f, kEnd, rng() % 2 ? r : r % 1001, &e), 0); break;
            case 2: ASSERT_EQ(VRDformAddReal(kEnd, &e, f, (r & 4095) + 0.25 * (1 + rng() % 3)), 0); break;
            case 3: ASSERT_EQ(VRDformAddString(f, kEnd, ("s (" + text + ")\n").c_str(), &e), 0); break;
            case 4: ASSERT_EQ(VRDformAddId(f, kEnd, ("id" + text).c_str(), &e), 0); break;
            case 5: ASSERT_EQ(VRDformAddPoint(kEnd, &e, f, r, r % 50), 0); break;
            }
        }
    }
};

TEST_F(WriterTest, LayoutOfLinesRunsAndIndentation) {
    auto numbers = [](int from, int to, std::string s = "") {
        for (int i = from; i <= to; ++i) s += " " + std::to_string(i);
        return s;
    };
    VRDentity a = ints(form("A"), 1, 1), e;  // texts go out as stored, unescaped
    expectOk({VRDformAddString(a, kEnd, "a\"b", &e), VRDformAddString(a, kEnd, "", &e),
              VRDformAddId(a, kEnd, "x y", &e)});
    ints(child(a, "B"), 2, 2);
    ASSERT_EQ(VRDformAddPoint(kEnd, &e, a, -1, INT32_MIN), 0);
    EXPECT_EQ(writeText(a, 1, 1), "\n(A 1 \"a\"b\" \"\" x y\n (B 2) (PT -1 -2147483648))");
    EXPECT_EQ(writeText(a, 2, 0), "\n(A 1 \"a\"b\" \"\" x y\n(B 2) (pt -1 -2147483648))");
    // Runs of ten; after a nested form at most nine entities follow on its line.
    VRDentity k = ints(form("K"), 1, 25), m = ints(form("M"), 1, 1);
    EXPECT_EQ(writeText(k), "\n(K" + numbers(1, 10) + "\n" + numbers(11, 20) + "\n" + numbers(21, 25) + ")");
    ints(child(m, "N"), 1, 12), ints(m, 1, 12);
    // Continuation lines take the form's indentation, then the entity's own space.
    EXPECT_EQ(writeText(m, 0, 1), "\n(M 1\n (N" + numbers(1, 10) + "\n " + numbers(11, 12) + ")" +
                                      numbers(1, 9) + "\n" + numbers(10, 12) + ")");
    // A killed form leaves no trace, yet counts as a nested form.
    VRDentity p = ints(form("P"), 1, 5), gone = ints(child(p, "G"), 7, 8);
    ints(p, 1, 12);
    ASSERT_EQ(VRDformKill(gone, 1, 0), 0);
    EXPECT_EQ(writeText(p), "\n(P" + numbers(1, 5) + numbers(1, 9) + "\n" + numbers(10, 12) + ")");
    EXPECT_EQ(writeText(gone), "");
}

TEST_F(WriterTest, EveryKindOfValueInItsTextForm) {
    VRDentity v = form("V"), r = form("R"), empty = form(""), e;
    for (int32_t i : {0, -5, 134217727, -134217727, 134217728, INT32_MIN, INT32_MAX}) add(v, {integer(i)});
    EXPECT_EQ(writeText(v), "\n(V 0 -5 134217727 -134217727 134217728 -2147483648 2147483647)");
    // Every length of number, alone and in point groups.
    VRDentity n = form("N");
    std::string expected = "\n(N";
    for (int64_t next = 1, digits = 1; digits <= 10; next = next * 10 + (digits + 1) % 10, ++digits) {
        auto i = static_cast<int32_t>(next);
        ASSERT_EQ(VRDformAddPoint(kEnd, &e, n, i, -i), 0);
        add(n, {integer(-i)});
        if (digits == 6) expected += "\n";  // ten entities on the first line
        expected += " (pt " + std::to_string(i) + " " + std::to_string(-i) + ") " + std::to_string(-i);
    }
    EXPECT_EQ(writeText(n, 0, 0), expected + ")");
    for (double d : {2.0, 0.123456789, 1e20, -0.5, 1.5}) ASSERT_EQ(VRDformAddReal(kEnd, &e, r, d), 0);
    EXPECT_EQ(writeText(r), "\n(R 2 0.123457 1e+20 -0.5 1.5)");
    add(empty, {VRDformGetEntity(v, 1)});
    EXPECT_TRUE(writeText(empty) == "\n( -5)" && writeText(VRDnullEntity()).empty());
    // Past the full x coordinate table a point goes to the point table.
    for (int32_t x = 0; x < 30600; ++x) ASSERT_EQ(VRDpointCreate(x * 3, 0, &e), 0);
    EXPECT_TRUE(VRDpointCreate(-7, 9, &e) == 0 && e.second >= 0x3C000000u && writeText(e, 1) == " (PT -7 9)");
}

TEST_F(WriterTest, EntitiesNotValidInTheStoreWriteNothing) {
    VRDentity k = ints(form("K"), 1, 1);
    // No such key or form of the key, values beyond their pools, the unused tag.
    for (VRDentity e : {entity(0x80000000u | 99), entity(k.first, 7), entity(0x08000000u | 500),
                        entity(0x20000000u | 99999), entity(0x28000000u | 99999), entity(0x30000000u | 77),
                        entity(0x40000000u, (5u << 15) | 5), entity(0x40000000u, 0x3C000000u | 9),
                        entity(0x38000000u)}) {
        add(k, {e});
        EXPECT_EQ(writeText(e), "") << e;
    }
    EXPECT_TRUE(writeText(k) == "\n(K 1)" && takeReports().empty());
}

TEST_F(WriterTest, AMillionNestedFormsDoNotExhaustTheStack) {
    const int depth = 1000000;  // keys K0..K999 take turns: no form array past 1000 records
    std::vector<uint32_t> keys;
    for (int i = 0; i < 1000; ++i) keys.push_back(key(("K" + std::to_string(i)).c_str()));
    VRDentity root = form("K0"), f = root;
    std::string expected = "\n(K0";
    for (int i = 1; i < depth; ++i) {
        ASSERT_EQ(VRDformAddForm(f, kEnd, keys[static_cast<size_t>(i % 1000)], nullptr, &f), 0);
        expected += "\n(K" + std::to_string(i % 1000);
    }
    ints(f, 7, 7);
    EXPECT_TRUE(writeText(root, 0, 0) == expected + " 7" + std::string(depth, ')'));  // too big to print
}

// A form met again inside itself (directly or through a sub-form) writes nothing, as a killed form.
TEST_F(WriterTest, FormsHoldingThemselvesAreWrittenOnce) {
    VRDentity a = ints(form("A"), 1, 1), b = child(a, "B");
    add(b, {integer(2), a}), add(a, {a, integer(3)});
    EXPECT_EQ(writeText(a, 0, 1), "\n(A 1\n (B 2) 3)");
    EXPECT_EQ(writeText(b, 0, 1), "\n(B 2\n (A 1 3))");
}

// A buffer that cannot grow keeps exactly the text that fitted, piece
// boundaries or not, and its close says that bytes were lost.
TEST_F(WriterTest, ABufferThatCannotGrowKeepsWhatFitted) {
    VRDentity f = form("F"), e;
    for (int i = 0; i < 3000; ++i) {
        expectOk({VRDformAddPoint(kEnd, &e, f, i * 37, -i), VRDformAddInt(f, kEnd, i * 100003, &e),
                  VRDformAddReal(kEnd, &e, f, i + 0.125)});
    }
    std::string whole = writeText(f, 1, 1);
    std::vector<size_t> kept;
    for (long fail = 1; fail <= 12; ++fail) {  // the walk's own allocations come first
        TextChannel *c = openTextBuffer();
        heapwrapFailNth(fail);
        VRDfileWriteEntity(c, 1, f, 1);
        heapwrapFailNth(0);
        size_t n = 0;
        const char *data = textBufferData(c, &n);
        std::string text(data, n);
        int closed = closeTextFile(c);
        if (!takeReports().empty()) continue;  // the walk could not start: -2, nothing written
        if (closed == 0 && text == whole) break;  // past the last growth
        ASSERT_TRUE(n == 4096u << kept.size() && text == whole.substr(0, n) && closed == -1) << fail << " " << n;
        kept.push_back(n);
    }
    EXPECT_GE(kept.size(), 4u);
}

TEST_F(WriterTest, RandomTreesReadBackEqualInEveryLayout) {
    std::mt19937 rng(20261205);
    for (int round = 0; round < 10; ++round) {
        VRDentity root = form("Root"), copy{};
        grow(rng, root, 0);
        for (int32_t layout = 0; layout < 4; ++layout) {  // case flags 0 or 1, indent on or off
            std::string written = writeText(root, layout & 1, layout >> 1);
            ASSERT_EQ(readText(written, &copy), 0);
            ASSERT_EQ(describe(copy), describe(root)) << written;
        }
    }
    EXPECT_TRUE(takeReports().empty());
}

// Each real as both writers render it: the standard one keeps "%g", the exact
// one gives the shortest text that still holds a "." and reads back the same.
// A NaN keeps its sign through text on every system, whatever the C library's
// printf and scanf make of NaNs: written "nan"/"-nan" by both writers, read
// back as the default quiet NaN with that sign (the payload is not kept).
TEST_F(WriterTest, RendersTheShortestRealTextThatReadsBackAsAReal) {
    const double inf = std::numeric_limits<double>::infinity();
    double payload;  // a negative NaN with a payload
    const uint64_t payloadBits = 0xFFF0000000012345u;
    std::memcpy(&payload, &payloadBits, sizeof payload);
    const struct {
        double value;
        const char *standard, *exact;
    } rows[] = {
        {2.0, " 2", " 2.0"}, {1e20, " 1e+20", " 1.0e+20"}, {0.1, " 0.1", " 0.1"}, {-0.0, " -0", " -0.0"},
        {166.964229, " 166.964", " 166.964229"}, {-2.479646, " -2.47965", " -2.479646"},
        {169.000028, " 169", " 169.000028"}, {1234567.89, " 1.23457e+06", " 1234567.89"},
        {1e-07, " 1e-07", " 1.0e-07"}, {0.30000000000000004, " 0.3", " 0.30000000000000004"},
        {5e-324, " 4.94066e-324", " 5.0e-324"}, {1.7976931348623157e308, " 1.79769e+308", " 1.7976931348623157e+308"},
        {inf, " inf", " inf."}, {-inf, " -inf", " -inf."},
        {std::nan(""), " nan", " nan."}, {-std::nan(""), " -nan", " -nan."}, {payload, " -nan", " -nan."},
    };
    for (const auto &row : rows) {
        VRDentity e = real(row.value);
        EXPECT_EQ(writeText(e), row.standard) << row.exact;
        EXPECT_EQ(writeText(e, 0, 1, true), row.exact);
    }
    VRDentity back{};
    ASSERT_EQ(readText("(N nan. -nan. NaN. -NAN. +nan.)", &back), 0);
    const uint64_t quiet = 0x7FF8000000000000u, negative = 0xFFF8000000000000u;
    const uint64_t expected[] = {quiet, negative, quiet, negative, quiet};
    ASSERT_EQ(VRDformEntityCount(back), 5u);
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(bitsOf(VRDrealGetValue(VRDformGetEntity(back, i))), expected[i]) << i;
    EXPECT_TRUE(takeReports().empty());
}

// Random doubles of every magnitude: each exact text holds a "." and sscanf
// gives the same bits back (NaNs keep their sign only, as the header says).
TEST_F(WriterTest, EveryDoubleReadsBackBitForBit) {
    std::mt19937_64 rng(20261206);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        std::string text = writeText(real(v), 0, 1, true);
        ASSERT_EQ(text[0], ' ');
        ASSERT_NE(text.find('.'), std::string::npos) << text;
        double back = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%lf", &back), 1) << text;
        if (std::isnan(v))  // the sign is all a NaN's text keeps, on every system
            EXPECT_EQ(text, std::signbit(v) ? " -nan." : " nan.");
        else
            EXPECT_EQ(bitsOf(back), bits) << text;
    }
}

// Apart from reals the two writers give the same bytes, and a tree written
// exactly reads back with every real unchanged where %g would have cut it.
TEST_F(WriterTest, SameLayoutAndAnExactRoundTrip) {
    VRDentity root = form("Board"), e{};
    add(root, {integer(-7), integer(300000000)});
    ASSERT_EQ(VRDformAddString(root, kEnd, "a b", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "x.y", &e), 0);
    VRDentity pad = child(root, "pad");
    for (int i = 0; i < 12; ++i) ASSERT_EQ(VRDformAddPoint(kEnd, &e, pad, i, -i), 0);
    for (int32_t layout = 0; layout < 4; ++layout)
        EXPECT_EQ(writeText(root, layout & 1, layout >> 1, true), writeText(root, layout & 1, layout >> 1));
    const double values[] = {166.964229, 169.000028, 2.0, 1e20, -0.0, 1e-07};
    for (double v : values) ASSERT_EQ(VRDformAddReal(kEnd, &e, pad, v), 0);
    std::string text = writeText(root, 0, 1, true);
    EXPECT_NE(text, writeText(root));
    VRDentity back{};
    ASSERT_NE(VRDnew("back"), nullptr);
    ASSERT_EQ(readText(text, &back), 0);
    VRDentity backPad = VRDformGetEntity(back, 4);
    for (uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(bitsOf(VRDrealGetValue(VRDformGetEntity(backPad, 12 + i))), bitsOf(values[i])) << values[i];
    EXPECT_TRUE(takeReports().empty());
}

// Short of memory for the walk, or with no store, either writer writes
// nothing and reports under its own name.
TEST_F(WriterTest, ShortMemoryAndNoStoreReportUnderEachWritersName) {
    VRDentity f = form("F");
    add(f, {integer(1)});
    TextChannel *c = openTextBuffer();
    heapwrapFailNth(1);
    EXPECT_EQ(VRDfileWriteEntityExact(c, 0, f, 1), 0);
    heapwrapFailNth(1);
    VRDfileWriteEntity(c, 0, f, 1);
    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    EXPECT_EQ(VRDfileWriteEntityExact(c, 0, f, 1), 0);
    VRDfileWriteEntity(c, 0, f, 1);
    EXPECT_STREQ(textBufferData(c, nullptr), "");
    closeTextFile(c);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteEntityExact", -2}, {"VRDfileWriteEntity", -2},
                                                  {"VRDfileWriteEntityExact", -3}, {"VRDfileWriteEntity", -3}}));
}

}  // namespace
