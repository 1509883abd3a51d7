// test_reader.cpp - the text reader: notation, modes, case flags, batches, limits and reports.
#include <string>

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

}  // namespace
