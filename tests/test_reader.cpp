// test_reader.cpp - the text reader: notation, modes, case flags, batches, limits and reports.
#include <gtest/gtest.h>

#include <string>

#include "files/files.h"
#include "text_support.h"

namespace {

using vrdtest::describe;
using vrdtest::readText;
using vrdtest::Report;

constexpr const char *kReader = "VRDfileReadEntity";

std::vector<Report> fromReader(const std::vector<int> &codes) {
    std::vector<Report> out;
    for (int code : codes) out.push_back({kReader, code});
    return out;
}

class ReaderTest : public vrdtest::TreeTest {
protected:
    // Reads a free-standing text; the tree read, or "null".
    std::string readTree(const std::string &text, int32_t flags = 0) {
        VRDentity root{1, 1};
        EXPECT_EQ(readText(text, &root, flags), 0) << text;
        return describe(root);
    }
};

// Free-standing texts: the tree read, the reports under the reader's name, and
// a keyword the text must not have created.
TEST_F(ReaderTest, FreeStandingTextsGiveTheirTreeAndReports) {
    struct Row { std::string text; int32_t flags; std::string tree; std::vector<int> codes; const char *absent; };
    std::string shorter(1998, 'a'), limit(1999, 'b'), token(2500, 'k'), cut = token.substr(0, 1999);
    const Row rows[] = {
        {"(A -17 +5 007 - 1.5 .5 1. 1e5 x.y 12ab)", 0, "(A i:-17 i:5 i:7 i:0 r:1.5 r:0.5 r:1 id:1e5 id:x.y id:12ab)", {}, ""},
        {"(A + 1.5x 1.2.3 . -.25 a-1 -x)", 0, "(A i:0 r:1.5 r:1.2 id:. r:-0.25 id:a-1 id:-x)", {}, ""},
        {"(A 4294967297 2147483648 -2147483648 134217728 -134217728 4294967296)", 0,
         "(A i:1 i:-2147483648 i:-2147483648 i:134217728 i:-134217728 i:0)", {}, ""},
        {"  \r\n(1.5 \"a (b)\nc\" \"\" 2)\t\n", 0, "(1.5 s:\"a (b)\nc\" s:\"\" i:2)", {}, ""},
        {"()", 0, "()", {}, ""}, {"((B))", 0, "( (B))", {}, ""}, {"(\"s\" x)", 0, "( s:\"s\" id:x)", {}, ""},
        {"(A (PT 3 -4) (pt 1 2) (Pt +7 -0) (pT))", 0, "(A pt(3,-4) pt(1,2) pt(7,0) pt(0,0))", {}, "pT"},
        {"(A (pt 1 2))", 1, "(A pt(1,2))", {}, "PT"}, {"(A (PT 1 2))", 2, "(a pt(1,2))", {}, "pt"},
        {" (PT 1 2) ", 0, "pt(1,2)", {}, "PT"}, {"(A (PTX 1 2))", 0, "(A (PTX i:1 i:2))", {}, ""},
        {"(A (PT 1 2))", 4, "(A (PT i:1 i:2))", {}, ""},  // other bits alone: the tag must be "pt"
        {"(A (PT 1 2 3))", 0, "(A pt(1,2) i:3)", {-6, -8}, ""},
        {"(abc def \"ghi\")", 1, "(ABC id:DEF s:\"ghi\")", {}, ""},
        {"(ABC DEF \"GHI\")", 2, "(abc id:def s:\"GHI\")", {}, ""}, {"(aB cD)", 3, "(Ab id:Cd)", {}, ""},
        {"(k x\xE9t\xC9)", 1, "(K id:X\xE9T\xC9)", {}, ""},  // the C locale maps ASCII only
        {"(A 1\xB2 2\xC0 3\xD7 -0\xB9)", 0, "(A id:1\xB2 id:2\xC0 id:3\xD7 id:-0\xB9)", {}, ""},  // ASCII digits only
        {"(A \x01 \x7F \x80 b\x80\x01z \xFE)", 0, "(A id:b\x80\x01z)", {}, ""},
        {"(A 1)\xFF junk", 0, "(A i:1)", {}, ""}, {"(A \"ab\xFF\" 2)", 0, "(A s:\"ab\")", {-7, -9}, ""},
        {"", 0, "null", {-4}, ""}, {"junk more (A 1)", 0, "(A i:1)", {-5}, ""}, {"junk", 0, "null", {-5, -4}, ""},
        {"(A 1) (Z 2)", 0, "(A i:1)", {-8}, "Z"}, {"(A", 0, "(A)", {-9}, ""}, {"(", 0, "null", {}, ""},
        {"(A 1 (B 2 (C 3", 0, "(A i:1 (B i:2 (C i:3)))", {-9, -9, -9}, ""}, {"(A \"open", 0, "(A s:\"open\")", {-7, -9}, ""},
        {"(A \"" + shorter + "\")", 0, "(A s:\"" + shorter + "\")", {}, ""},
        // At 1999 characters a string ends; its closing quote opens another one.
        {"(A \"" + limit + "c\" 5)", 0, "(A s:\"" + limit + "\" id:c s:\" 5)\")", {-7, -7, -9}, ""},
        // Over-long keywords and tokens are cut at 1999 characters without a report.
        {"(" + token + " " + token + "x 7)", 0, "(" + cut + " id:" + cut + " i:7)", {}, ""},
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
    ASSERT_EQ(readText(open + "1" + close, &root), 0);  // 49 nested forms fit
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(VRDformGetOwner(root), VRDnullEntity());
    VRDentity f = root;
    for (int i = 0; i < 48; ++i) {
        VRDentity inner = VRDformGetEntity(f, 0);
        ASSERT_EQ(VRDformGetOwner(inner), f);  // each form owned by the one holding it
        f = inner;
    }
    EXPECT_EQ(describe(f), "(F48 i:1)");
    // The 50th is one too many: -9 once, what was read stays, nothing after is read.
    ASSERT_EQ(readText("(G 1 " + open + "(X 2) 3" + close + ")", &root), 0);
    EXPECT_EQ(takeReports(), fromReader({-9}));
    EXPECT_EQ(VRDkeyFind("X"), VRD_NO_KEY);
    EXPECT_EQ(describe(root).substr(0, 14), "(G i:1 (F0 (F1");
    EXPECT_EQ(VRDformEntityCount(root), 2u);
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
    std::string text, tree = "(A";
    for (int i = 0; i < 120; ++i) text += std::to_string(i) + " ", tree += " i:" + std::to_string(i);
    EXPECT_EQ(readTree("(A " + text + ")"), tree + ")");
    VRDentity target = form("T"), first{};
    add(target, {integer(1000), integer(1001), integer(1002), integer(1003), integer(1004)});
    ASSERT_EQ(readText(text, &first, 0, target, 3), 0);
    EXPECT_TRUE(takeReports().empty());
    ASSERT_EQ(VRDformEntityCount(target), 125u);
    EXPECT_EQ(first, VRDformGetEntity(target, 3));
    for (int32_t i = 0; i < 125; ++i)
        ASSERT_EQ(VRDintGetValue(VRDformGetEntity(target, i)), i < 3 ? 1000 + i : i < 123 ? i - 3 : 880 + i) << i;

    // The target's own ")" ends the reading: what follows is reported.
    VRDentity other = form("U");
    ASSERT_EQ(readText("1 2) 3", &first, 0, other), 0);
    EXPECT_EQ(describe(other), "(U i:1 i:2)");
    EXPECT_EQ(takeReports(), fromReader({-8}));
    // An unclosed nested form is reported once; the target is not.
    ASSERT_EQ(readText("(B 1", &first, 0, other), 0);
    EXPECT_EQ(takeReports(), fromReader({-9}));
    EXPECT_EQ(describe(other), "(U i:1 i:2 (B i:1))");
    EXPECT_EQ(describe(first), "(B i:1)");
    EXPECT_EQ(VRDformGetOwner(first), other);
    ASSERT_EQ(readText("  ", &first, 0, other), 0);  // nothing to read, nothing reported
    EXPECT_TRUE(first == VRDnullEntity() && takeReports().empty());
}

TEST_F(ReaderTest, FailuresOfTheStoreEndTheReadingWithOne) {
    VRDentity root{}, bad{0x80000000u | 99, 0};
    heapwrapFailNth(2);  // after the channel, the keyword table cannot be made
    EXPECT_EQ(readText("(A 1)", &root), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", -2}}));
    ASSERT_EQ(readText("(B)", &root, 0, bad), 1);  // a target that names no form
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", -9}}));
    ASSERT_EQ(readText("1 2", &root, 0, bad), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", -9}}));
    // Each allocation failing in turn: 1, or 0 when only a coordinate table was refused.
    int failed = 0;
    for (long n = 1; n < 40; ++n) {
        ASSERT_TRUE(VRDkill(nullptr, "test") == 0 && VRDnew("test") != nullptr);
        heapwrapFailNth(n + 1);  // the string channel takes the first allocation
        int32_t status = readText("(A \"s\" 1.5 123456789012 (B (PT 1 2) x) 7)", &root);
        heapwrapFailNth(0);
        std::vector<Report> seen = takeReports();
        if (status == 0 && seen.empty()) break;  // past the last allocation
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().code, -2) << n;
        EXPECT_TRUE(status == 1 || seen.back().routine == "newxcoord" || seen.back().routine == "newycoord") << n;
        failed += status == 1;
    }
    EXPECT_GE(failed, 8);

    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    EXPECT_EQ(readText("(A)", &root), 1);
    EXPECT_EQ(root, VRDnullEntity());
    EXPECT_EQ(takeReports(), fromReader({-3}));
    EXPECT_EQ(addReadEntity(&root, VRDentity{0x18000000u, 0}), 1);  // no reading under way
}

}  // namespace
