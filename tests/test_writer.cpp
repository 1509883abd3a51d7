// test_writer.cpp - the text writer: exact layout, value forms, invalid entities, deep trees, round trips.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "files/files.h"
#include "support.h"
#include "text_support.h"

namespace {

using vrdtest::describe;
using vrdtest::readText;
using vrdtest::Report;
using vrdtest::writeText;

class WriterTest : public vrdtest::StoreTest {
protected:
    VRDentity form(const char *keyword, VRDentity owner = VRDentity{0, 0}) {
        VRDentity f{};
        EXPECT_EQ(VRDformAddForm(owner, -1u, VRD_NO_KEY, keyword, &f), 0);
        return f;
    }
    void ints(VRDentity f, int from, int to) {
        VRDentity e;
        for (int i = from; i <= to; ++i) ASSERT_EQ(VRDformAddInt(f, -1u, i, &e), 0);
    }
    void add(VRDentity f, VRDentity e) { ASSERT_EQ(VRDformAddEntities(f, -1u, 1, &e), 0); }
};

std::string numbers(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i) s += " " + std::to_string(i);
    return s;
}

TEST_F(WriterTest, LayoutOfNestedFormsPointsAndStrings) {
    VRDentity a = form("A");
    VRDentity e;
    ints(a, 1, 1);
    ASSERT_EQ(VRDformAddString(a, -1u, "x", &e), 0);
    VRDentity b = form("B", a);
    ints(b, 2, 2);
    ASSERT_EQ(VRDformAddPoint(-1u, &e, a, 3, 4), 0);
    EXPECT_EQ(writeText(a, 1, 1), "\n(A 1 \"x\"\n (B 2) (PT 3 4))");
    EXPECT_EQ(writeText(a, 0, 1), "\n(A 1 \"x\"\n (B 2) (pt 3 4))");
    EXPECT_EQ(writeText(a, 2, 0), "\n(A 1 \"x\"\n(B 2) (pt 3 4))");
    EXPECT_EQ(writeText(b, 1, 1), "\n(B 2)");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(WriterTest, RunsOfTenAndTheCountAfterNestedAndKilledForms) {
    VRDentity k = form("K");
    ints(k, 1, 25);
    EXPECT_EQ(writeText(k), "\n(K" + numbers(1, 10) + "\n" + numbers(11, 20) + "\n" + numbers(21, 25) + ")");

    // After a nested form at most nine entities follow on its line.
    VRDentity m = form("M");
    ints(m, 1, 1);
    form("N", m);
    ints(m, 1, 12);
    EXPECT_EQ(writeText(m, 0, 1), "\n(M 1\n (N)" + numbers(1, 9) + "\n" + numbers(10, 12) + ")");
    EXPECT_EQ(writeText(m, 0, 0), "\n(M 1\n(N)" + numbers(1, 9) + "\n" + numbers(10, 12) + ")");

    // Continuation lines of a nested form take its indentation, then the
    // entity's own space.
    VRDentity o = form("O");
    VRDentity inner = form("I", o);
    ints(inner, 1, 12);
    EXPECT_EQ(writeText(o), "\n(O\n (I" + numbers(1, 10) + "\n " + numbers(11, 12) + "))");

    // A killed form leaves no trace, yet counts as a nested form.
    VRDentity p = form("P");
    ints(p, 1, 5);
    VRDentity gone = form("G", p);
    ints(gone, 7, 8);
    ints(p, 1, 12);
    ASSERT_EQ(VRDformKill(gone, 1, 0), 0);
    EXPECT_EQ(writeText(p), "\n(P" + numbers(1, 5) + numbers(1, 9) + "\n" + numbers(10, 12) + ")");
    EXPECT_EQ(writeText(gone), "");
}

TEST_F(WriterTest, EveryKindOfValueInItsTextForm) {
    VRDentity v = form("V");
    VRDentity e;
    for (int32_t i : {0, -5, 134217727, -134217727, 134217728, INT32_MIN, INT32_MAX}) ASSERT_EQ(VRDformAddInt(v, -1u, i, &e), 0);
    EXPECT_EQ(writeText(v), "\n(V 0 -5 134217727 -134217727 134217728 -2147483648 2147483647)");

    VRDentity r = form("R");
    for (double d : {2.0, 0.123456789, 1e20, -0.5, 1.5}) ASSERT_EQ(VRDformAddReal(-1u, &e, r, d), 0);
    EXPECT_EQ(writeText(r), "\n(R 2 0.123457 1e+20 -0.5 1.5)");

    // Texts are written as stored: nothing is escaped.
    VRDentity s = form("S");
    ASSERT_EQ(VRDformAddString(s, -1u, "a\"b", &e), 0);
    ASSERT_EQ(VRDformAddString(s, -1u, "", &e), 0);
    ASSERT_EQ(VRDformAddId(s, -1u, "x y", &e), 0);
    ASSERT_EQ(VRDformAddPoint(-1u, &e, s, -1, INT32_MIN), 0);
    EXPECT_EQ(writeText(s), "\n(S \"a\"b\" \"\" x y (pt -1 -2147483648))");

    // The empty keyword, and values given on their own.
    VRDentity empty = form("");
    EXPECT_EQ(writeText(empty), "\n()");
    ints(empty, 1, 1);
    EXPECT_EQ(writeText(empty), "\n( 1)");
    EXPECT_EQ(writeText(VRDformGetEntity(v, 1)), " -5");
    EXPECT_EQ(writeText(VRDnullEntity()), "");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(WriterTest, TablePointsAreReadFromThePointRecords) {
    VRDentity p{};
    // Fill the x coordinate table; the next new x goes to the point table.
    for (int32_t x = 0; x < 30600; ++x) ASSERT_EQ(VRDpointCreate(x * 3, 0, &p), 0);
    ASSERT_EQ(VRDpointCreate(-7, 9, &p), 0);
    ASSERT_EQ(p.second, 0x3C000000u);
    VRDentity f = form("T");
    add(f, p);
    EXPECT_EQ(writeText(f, 1), "\n(T (PT -7 9))");
}

TEST_F(WriterTest, EntitiesNotValidInTheStoreWriteNothing) {
    VRDentity k = form("K");
    ints(k, 1, 1);
    const VRDentity invalid[] = {
        {0x80000000u | 99, 0},  // no such key
        {k.first, 7},           // no such form of the key
        {0x08000000u | 500, 0}, // big integer beyond the table
        {0x20000000u | 99999, 0},
        {0x28000000u | 99999, 0},
        {0x30000000u | 77, 0},
        {0x40000000u, (5u << 15) | 5},  // packed point without coordinates
        {0x40000000u, 0x3C000000u | 9}, // table point beyond the table
        {0x38000000u, 0},               // the unused tag
    };
    for (const VRDentity &e : invalid) {
        add(k, e);
        EXPECT_EQ(writeText(e), "") << e;
    }
    ints(k, 2, 2);
    // The run counter still counts them, and the two form entities restart
    // it: 3 is the tenth entity after the second one, 4 starts a line.
    EXPECT_EQ(writeText(k), "\n(K 1 2)");
    ints(k, 3, 4);
    EXPECT_EQ(writeText(k), "\n(K 1 2 3\n 4)");
    VRDsetCheck(0);
    EXPECT_EQ(writeText(k), "\n(K 1 2 3\n 4)");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(WriterTest, AMillionNestedFormsDoNotExhaustTheStack) {
    // Keys K0..K999 take turns, so no form array grows past 1000 records.
    const int depth = 1000000;
    std::vector<uint32_t> keys(1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(VRDkeyCreate(("K" + std::to_string(i)).c_str(), &keys[i]), 0);
    VRDentity root{}, f{}, owner = VRDnullEntity();
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(VRDformAddForm(owner, -1u, keys[static_cast<size_t>(i % 1000)], nullptr, &f), 0);
        if (i == 0) root = f;
        owner = f;
    }
    ASSERT_EQ(VRDformAddInt(f, -1u, 7, &f), 0);
    std::string expected;
    expected.reserve(8u * depth);
    for (int i = 0; i < depth; ++i) expected += "\n(K" + std::to_string(i % 1000);
    expected += " 7" + std::string(depth, ')');
    std::string written = writeText(root, 0, 0);
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
    EXPECT_TRUE(takeReports().empty());
}

// A form that holds itself, directly or through a sub-form, is written once
// on each path: met again inside itself it writes nothing, as a killed form.
TEST_F(WriterTest, FormsHoldingThemselvesAreWrittenOnce) {
    VRDentity a = form("A");
    ints(a, 1, 1);
    VRDentity b = form("B", a);
    ints(b, 2, 2);
    add(b, a);
    add(a, a);
    ints(a, 3, 3);
    EXPECT_EQ(writeText(a, 0, 1), "\n(A 1\n (B 2) 3)");
    EXPECT_EQ(writeText(b, 0, 1), "\n(B 2\n (A 1 3))");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(WriterTest, ShortMemoryStopsTheWalkWithAReport) {
    VRDentity f = form("F");
    ints(f, 1, 3);
    TextChannel *c = openTextBuffer();
    ASSERT_NE(c, nullptr);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDfileWriteEntity(c, 0, f, 1), 0);
    heapwrapFailNth(0);
    size_t length = 99;
    textBufferData(c, &length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteEntity", -2}}));
    // A value needs no walk.
    heapwrapFailNth(1);
    VRDfileWriteEntity(c, 0, VRDformGetEntity(f, 0), 1);
    heapwrapFailNth(0);
    EXPECT_STREQ(textBufferData(c, nullptr), " 1");
    EXPECT_EQ(putTextChar(c, 'x'), 'x');
    closeTextFile(c);
    TextChannel *r = openTextString("", 0);
    EXPECT_EQ(putTextChar(r, 'x'), -1);
    closeTextFile(r);

    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    takeReports();
    EXPECT_EQ(writeText(f), "");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteEntity", -3}}));
}

// The layout written the recursive way, from the interface's getters only.
void referenceWrite(std::string &out, VRDentity e, int32_t flags, bool indent, int &depth) {
    char text[64];
    if (e.first & 0x80000000u) {
        if (VRDformIsKilled(e)) return;
        out += '\n';
        ++depth;
        if (indent) out += std::string(static_cast<size_t>(depth), ' ');
        out += std::string("(") + VRDformGetPtrKeyword(e);
        int run = 0;
        for (uint32_t i = 0; i < VRDformEntityCount(e); ++i) {
            VRDentity x = VRDformGetEntity(e, i);
            if (x.first & 0x80000000u) {
                run = 0;
            } else if (run == 10) {
                out += '\n';
                if (indent) out += std::string(static_cast<size_t>(depth), ' ');
                run = 0;
            }
            referenceWrite(out, x, flags, indent, depth);
            ++run;
        }
        out += ')';
        --depth;
        return;
    }
    if ((e.first & 0xC0000000u) == 0x40000000u) {
        VRDpoint p = VRDpointGetValue(e);
        std::snprintf(text, sizeof text, " (%s %d %d)", flags == 1 ? "PT" : "pt", p.x, p.y);
        out += text;
        return;
    }
    switch (e.first & 0xF8000000u) {
    case 0x08000000u:
    case 0x10000000u:
    case 0x18000000u:
        out += " " + std::to_string(VRDintGetValue(e));
        return;
    case 0x20000000u:
        out += std::string(" \"") + VRDstringGetPtrValue(e) + "\"";
        return;
    case 0x28000000u:
        out += std::string(" ") + VRDstringGetPtrValue(e);
        return;
    case 0x30000000u:
        std::snprintf(text, sizeof text, " %g", VRDrealGetValue(e));
        out += text;
        return;
    }
}

// A random tree whose every value survives the text unchanged.
void grow(std::mt19937 &rng, VRDentity f, int level, bool withKilled) {
    // The empty keyword only where the tree is not read back: "( 5" reads
    // as a form with the keyword 5.
    const char *keywords[] = {"Plant", "line", "K2", "x.y", "Cell", ""};
    int n = static_cast<int>(rng() % (level == 0 ? 40 : 25));
    VRDentity e;
    for (int i = 0; i < n; ++i) {
        switch (rng() % 9) {
        case 0:
            if (level < 6) {
                VRDentity child;
                ASSERT_EQ(VRDformAddForm(f, -1u, VRD_NO_KEY, keywords[rng() % (withKilled ? 6 : 5)], &child), 0);
                grow(rng, child, level + 1, withKilled);
                if (withKilled && rng() % 4 == 0) {
                    ASSERT_EQ(VRDformKill(child, 1, 0), 0);
                }
            }
            break;
        case 1:
            ASSERT_EQ(VRDformAddInt(f, -1u, static_cast<int32_t>(rng()), &e), 0);
            break;
        case 2:
            ASSERT_EQ(VRDformAddInt(f, -1u, static_cast<int32_t>(rng() % 2001) - 1000, &e), 0);
            break;
        case 3:
            ASSERT_EQ(VRDformAddReal(-1u, &e, f, static_cast<double>(rng() % 4000) + 0.25 * (1 + rng() % 3)), 0);
            break;
        case 4:
            ASSERT_EQ(VRDformAddString(f, -1u, ("s (" + std::to_string(rng() % 50) + ")\n").c_str(), &e), 0);
            break;
        case 5:
            ASSERT_EQ(VRDformAddId(f, -1u, ("id" + std::to_string(rng() % 50)).c_str(), &e), 0);
            break;
        case 6:
            ASSERT_EQ(VRDformAddPoint(-1u, &e, f, static_cast<int32_t>(rng()), static_cast<int32_t>(rng() % 100) - 50), 0);
            break;
        default:
            ASSERT_EQ(VRDformAddInt(f, -1u, i, &e), 0);
        }
    }
}

TEST_F(WriterTest, RandomTreesMatchTheRecursiveLayoutAndReadBack) {
    std::mt19937 rng(20261205);
    for (int round = 0; round < 20; ++round) {
        bool withKilled = round % 2 == 1;
        VRDentity root{};
        ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "Root", &root), 0);
        grow(rng, root, 0, withKilled);
        for (int32_t flags : {0, 1}) {
            for (int32_t indent : {0, 1}) {
                std::string expected;
                int depth = -1;
                referenceWrite(expected, root, flags, indent != 0, depth);
                std::string written = writeText(root, flags, indent);
                ASSERT_EQ(written, expected) << "round " << round;
                if (withKilled) continue;
                // Read back in any layout, the text gives an equal tree.
                VRDentity copy{};
                ASSERT_EQ(readText(written, &copy), 0);
                ASSERT_EQ(describe(copy), describe(root)) << written;
            }
        }
    }
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
