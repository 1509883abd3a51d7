// test_reader.cpp - the text reader: notation, modes, case flags, batches, limits and reports.
#include <gtest/gtest.h>

#include <string>

#include "files/files.h"
#include "support.h"
#include "text_support.h"

namespace {

using vrdtest::describe;
using vrdtest::readText;
using vrdtest::Report;

constexpr const char *kReader = "VRDfileReadEntity";

class ReaderTest : public vrdtest::StoreTest {
protected:
    // Reads a free-standing text; the tree read, or "null".
    std::string readTree(const std::string &text, int32_t flags = 0, int32_t expectedStatus = 0) {
        VRDentity root{1, 1};
        EXPECT_EQ(readText(text, &root, flags), expectedStatus) << text;
        return describe(root);
    }
    VRDentity makeForm(const char *keyword) {
        VRDentity f{};
        EXPECT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, keyword, &f), 0);
        return f;
    }
};

TEST_F(ReaderTest, ValueTokensBecomeIntegersRealsAndIdentifiers) {
    EXPECT_EQ(readTree("(A -17 +5 007 - 1.5 .5 1. 1e5 x.y 12ab)"),
              "(A i:-17 i:5 i:7 i:0 r:1.5 r:0.5 r:1 id:1e5 id:x.y id:12ab)");
    EXPECT_EQ(readTree("(A + 1.5x 1.2.3 . -.25 a-1 -x)"), "(A i:0 r:1.5 r:1.2 id:. r:-0.25 id:a-1 id:-x)");
    // Integers wrap in 32 bits; the sign is applied last.
    EXPECT_EQ(readTree("(A 4294967297 2147483648 -2147483648 134217728 -134217728 4294967296)"),
              "(A i:1 i:-2147483648 i:-2147483648 i:134217728 i:-134217728 i:0)");
    // Strings keep white space, parentheses and line ends; keywords may be any token.
    EXPECT_EQ(readTree("  \r\n(1.5 \"a (b)\nc\" \"\" 2)\t\n"), "(1.5 s:\"a (b)\nc\" s:\"\" i:2)");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(ReaderTest, EmptyKeywordsNestingAndTheResultEntity) {
    VRDentity root{};
    ASSERT_EQ(readText("()", &root), 0);
    EXPECT_EQ(describe(root), "()");
    EXPECT_EQ(root.first & 0x80000000u, 0x80000000u);
    EXPECT_EQ(readTree("((B))"), "( (B))");
    EXPECT_EQ(readTree("(\"s\" x)"), "( s:\"s\" id:x)");
    EXPECT_EQ(readTree("(A (B (C 1) 2) (D))"), "(A (B (C i:1) i:2) (D))");
    // Nested forms are owned by the form that holds them; the outermost by
    // the caller's owner entity.
    ASSERT_EQ(readText("(A (B))", &root), 0);
    VRDentity inner = VRDformGetEntity(root, 0);
    EXPECT_EQ(VRDformGetOwner(inner), root);
    EXPECT_EQ(VRDformGetOwner(root), VRDnullEntity());
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(ReaderTest, PointGroupsAndThePointTag) {
    EXPECT_EQ(readTree("(A (PT 3 -4) (pt 1 2) (Pt +7 -0) (pT))"), "(A pt(3,-4) pt(1,2) pt(7,0) pt(0,0))");
    EXPECT_EQ(VRDkeyFind("PT"), VRD_NO_KEY);  // a point tag never becomes a keyword
    EXPECT_EQ(VRDkeyFind("pt"), VRD_NO_KEY);
    EXPECT_EQ(readTree("(A (pt 1 2))", 1), "(A pt(1,2))");
    EXPECT_EQ(readTree("(A (PT 1 2))", 2), "(a pt(1,2))");
    // With other flag bits only, the tag must be "pt" exactly.
    EXPECT_EQ(readTree("(A (PT 1 2))", 4), "(A (PT i:1 i:2))");
    EXPECT_EQ(readTree("(A (pt 1 2))", 4), "(A pt(1,2))");
    EXPECT_EQ(readTree("(A (PTX 1 2))"), "(A (PTX i:1 i:2))");
    EXPECT_TRUE(takeReports().empty());

    // A free-standing point group is itself the result.
    EXPECT_EQ(readTree(" (PT 1 2) "), "pt(1,2)");

    // A third coordinate: -6, the point is kept, 3 joins A, the group's ")"
    // closes A and the last one is data after the form.
    EXPECT_EQ(readTree("(A (PT 1 2 3))"), "(A pt(1,2) i:3)");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -6}, {kReader, -8}}));
}

TEST_F(ReaderTest, CaseFlagsConvertTokensButNeverStrings) {
    EXPECT_EQ(readTree("(abc def \"ghi\")", 1), "(ABC id:DEF s:\"ghi\")");
    EXPECT_EQ(readTree("(ABC DEF \"GHI\")", 2), "(abc id:def s:\"GHI\")");
    EXPECT_EQ(readTree("(aB cD)", 3), "(Ab id:Cd)");
    EXPECT_EQ(readTree("(aB cD 1.5e0 x.Y)", 0), "(aB id:cD r:1.5 id:x.Y)");
    // Letters beyond ASCII are letters, but the C locale maps only ASCII.
    EXPECT_EQ(readTree("(k x\xE9t\xC9)", 1), "(K id:X\xE9T\xC9)");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(ReaderTest, BytesThatCannotStartATokenAreSkippedAndFFEndsTheInput) {
    EXPECT_EQ(readTree("(A \x01 \x7F \x80 b\x80\x01z \xFE)"), "(A id:b\x80\x01z)");
    EXPECT_TRUE(takeReports().empty());
    // 0xFF is the end of input wherever it stands, even inside a string.
    EXPECT_EQ(readTree("(A 1)\xFF junk"), "(A i:1)");
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(readTree("(A \"ab\xFF\" 2)"), "(A s:\"ab\")");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -7}, {kReader, -9}}));
}

TEST_F(ReaderTest, ReportsAroundTheFreeStandingForm) {
    VRDentity root{5, 5};
    EXPECT_EQ(readText("", &root), 0);
    EXPECT_EQ(root, VRDnullEntity());
    EXPECT_EQ(readText(" \n\t ", &root), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -4}, {kReader, -4}}));
    EXPECT_EQ(VRDlastError(), -4);

    EXPECT_EQ(readTree("junk more (A 1)"), "(A i:1)");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -5}}));
    EXPECT_EQ(readTree("junk"), "null");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -5}, {kReader, -4}}));

    EXPECT_EQ(readTree("(A 1) (B 2)"), "(A i:1)");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -8}}));
    EXPECT_EQ(VRDkeyFind("B"), VRD_NO_KEY);

    EXPECT_EQ(readTree("(A"), "(A)");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}}));
    EXPECT_EQ(readTree("("), "null");
    EXPECT_TRUE(takeReports().empty());
    // Every open form is reported once and keeps what was read of it.
    EXPECT_EQ(readTree("(A 1 (B 2 (C 3"), "(A i:1 (B i:2 (C i:3)))");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}, {kReader, -9}, {kReader, -9}}));
}

TEST_F(ReaderTest, StringsAndTokensAreCutAtTheirLimits) {
    std::string shorter(1998, 'a');
    EXPECT_EQ(readTree("(A \"" + shorter + "\")"), "(A s:\"" + shorter + "\")");
    EXPECT_TRUE(takeReports().empty());
    // At 1999 characters the string ends; its closing quote opens another
    // string, which runs to the end of input.
    std::string limit(1999, 'b');
    EXPECT_EQ(readTree("(A \"" + limit + "c\" 5)"), "(A s:\"" + limit + "\" id:c s:\" 5)\")");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -7}, {kReader, -7}, {kReader, -9}}));
    EXPECT_EQ(readTree("(A \"open"), "(A s:\"open\")");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -7}, {kReader, -9}}));

    // An over-long token is cut at 1999 characters without a report, and so
    // is an over-long keyword; what follows it is read as usual.
    std::string token(2500, 'k');
    std::string read = readTree("(" + token + " " + token + "x 7)");
    EXPECT_EQ(read, "(" + token.substr(0, 1999) + " id:" + token.substr(0, 1999) + " i:7)");
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(ReaderTest, NestingDeeperThanTheStacksStopsWithOneReport) {
    // 49 nested forms fit the free-standing reader.
    std::string open, close;
    for (int i = 0; i < 49; ++i) open += "(F" + std::to_string(i) + " ";
    for (int i = 0; i < 49; ++i) close += ")";
    VRDentity root{};
    ASSERT_EQ(readText(open + "1" + close, &root), 0);
    EXPECT_TRUE(takeReports().empty());
    VRDentity f = root;
    for (int i = 0; i < 48; ++i) f = VRDformGetEntity(f, 0);
    EXPECT_EQ(describe(f), "(F48 i:1)");

    // The 50th is one too many: -9 once, the forms read so far keep their
    // entities, and nothing after is read.
    ASSERT_EQ(readText("(G 1 " + open + "(X 2) 3" + close + ")", &root), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}}));
    EXPECT_EQ(VRDkeyFind("X"), VRD_NO_KEY);
    EXPECT_EQ(VRDformEntityCount(root), 2u);
    EXPECT_EQ(describe(VRDformGetEntity(root, 0)), "i:1");

    // Far deeper texts never overrun the stacks.
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "(D";
    EXPECT_EQ(readText(deep, &root), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}}));

    // A point group needs a parse state of its own: inside 48 forms it fits,
    // inside 49 it is one level too many.
    std::string open48 = open.substr(0, open.rfind("(F48"));
    ASSERT_EQ(readText(open48 + "(PT 1 2)", &root), 0);
    EXPECT_EQ(takeReports(), std::vector<Report>(48, Report{kReader, -9}));
    ASSERT_EQ(readText(open + "(PT 1 2)", &root), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}}));
}

TEST_F(ReaderTest, IntoAFormEntitiesArriveInTextOrderAtThePosition) {
    VRDentity target = makeForm("T");
    VRDentity value;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(VRDformAddInt(target, -1u, 1000 + i, &value), 0);

    // 120 entities inserted before position 3: three batches (50, 50, 20)
    // that follow one another.
    std::string text;
    for (int i = 0; i < 120; ++i) text += std::to_string(i) + " ";
    VRDentity first{};
    ASSERT_EQ(readText(text, &first, 0, target, 3), 0);
    EXPECT_TRUE(takeReports().empty());
    ASSERT_EQ(VRDformEntityCount(target), 125u);
    EXPECT_EQ(first, VRDformGetEntity(target, 3));
    for (uint32_t i = 0; i < 125; ++i) {
        int32_t expected = i < 3 ? 1000 + static_cast<int32_t>(i) : i < 123 ? static_cast<int32_t>(i) - 3 : 1000 + static_cast<int32_t>(i) - 120;
        ASSERT_EQ(VRDintGetValue(VRDformGetEntity(target, i)), expected) << i;
    }
}

TEST_F(ReaderTest, IntoAFormTheClosingParenthesisAndTheEndOfInput) {
    VRDentity target = makeForm("T");
    VRDentity first{};
    ASSERT_EQ(readText("1 2) 3", &first, 0, target), 0);
    EXPECT_EQ(describe(target), "(T i:1 i:2)");
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -8}}));
    EXPECT_EQ(describe(first), "i:1");

    // An unclosed nested form is reported once; the target is not.
    VRDentity other = makeForm("U");
    ASSERT_EQ(readText("(B 1", &first, 0, other), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -9}}));
    EXPECT_EQ(describe(other), "(U (B i:1))");
    EXPECT_EQ(describe(first), "(B i:1)");
    EXPECT_EQ(VRDformGetOwner(first), other);

    // Without anything to read, the target is left alone and nothing is reported.
    ASSERT_EQ(readText("  ", &first, 0, other), 0);
    EXPECT_EQ(first, VRDnullEntity());
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(ReaderTest, FailuresOfTheStoreEndTheReadingWithOne) {
    // The keyword table cannot be made: reported by VRDkeyCreate, result 1.
    VRDentity root{};
    TextChannel *c = openTextString("(A 1)", 5);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDfileReadEntity(c, VRDnullEntity(), -1, 0, &root), 1);
    closeTextFile(c);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyCreate", -2}}));

    // A target that names no form: its nested form cannot be created.
    ASSERT_EQ(readText("(B)", &root, 0, VRDentity{0x80000000u | 99, 0}), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", -9}}));
    // Nor can entities be handed to it.
    ASSERT_EQ(readText("1 2", &root, 0, VRDentity{0x80000000u | 99, 0}), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", -9}}));

    // Every allocation of a reading failing in turn gives 1, never a crash.
    std::string text = "(A \"s\" 1.5 123456789012 (B (PT 1 2) x) 7)";
    int failed = 0;
    for (long n = 1; n < 40; ++n) {
        ASSERT_EQ(VRDkill(nullptr, "test"), 0);
        ASSERT_NE(VRDnew("test"), nullptr);
        TextChannel *c = openTextString(text.data(), text.size());
        ASSERT_NE(c, nullptr);
        heapwrapFailNth(n);
        int32_t status = VRDfileReadEntity(c, VRDnullEntity(), -1, 0, &root);
        heapwrapFailNth(0);
        closeTextFile(c);
        std::vector<Report> seen = takeReports();
        if (status == 0) {
            // Only the points' coordinate tables may fail without failing the read.
            for (const Report &r : seen) EXPECT_TRUE(r.routine == "newxcoord" || r.routine == "newycoord") << r;
            if (seen.empty()) break;  // past the last allocation
        } else {
            ASSERT_EQ(status, 1);
            ASSERT_FALSE(seen.empty());
            ++failed;
            EXPECT_EQ(seen.back().code, -2) << n;
        }
    }
    EXPECT_GE(failed, 8);
}

TEST_F(ReaderTest, WithoutAStoreNothingIsRead) {
    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    takeReports();
    VRDentity root{3, 3};
    EXPECT_EQ(readText("(A)", &root), 1);
    EXPECT_EQ(root, VRDnullEntity());
    EXPECT_EQ(takeReports(), (std::vector<Report>{{kReader, -3}}));
    // Outside a reading there is no context to add to.
    EXPECT_EQ(addReadEntity(&root, VRDentity{0x18000000u, 0}), 1);
}

}  // namespace
