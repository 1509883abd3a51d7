// test_cli_text.cpp - `vrd fmt` and `vrd check` run end to end on real files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "cli_support.h"
#include "support.h"
#include "text_support.h"

namespace {

using vrdtest::lineCount;
using vrdtest::scratch;
using vrdtest::slurp;
using vrdtest::tempFile;
using vrdtest::ToolRun;
using vrdtest::vrd;

TEST(CliText, FmtWritesTheWritersLayoutWithItsOptions) {
    std::string in = tempFile("small.vrd", "(A 1\n\n   \"x\" (b 2) (PT 3 4) y.z -0.50)");
    ToolRun r = vrd("fmt " + in);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n");
    EXPECT_EQ(r.err, "");

    r = vrd("fmt --upper --no-indent " + in);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n(A 1 \"x\"\n(B 2) (PT 3 4) Y.Z -0.5)\n");
    r = vrd("fmt " + in + " --lower");
    EXPECT_EQ(r.out, "\n(a 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n");

    std::string out = scratch("out.vrd");
    std::remove(out.c_str());
    r = vrd("fmt " + in + " -o " + out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(out), "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n");
}

TEST(CliText, FmtRefusesBadArgumentsFilesAndTexts) {
    std::string in = tempFile("args.vrd", "(A)");
    for (const char *args : {"fmt", "fmt --upper --lower ", "fmt --bogus ", "fmt a.vrd b.vrd"}) {
        ToolRun r = vrd(std::string(args) + (std::string(args).back() == ' ' ? in : ""));
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err, "") << args;
    }
    ToolRun r = vrd("fmt " + scratch("missing.vrd"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1);
    EXPECT_EQ(r.err.rfind("vrd: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("missing.vrd: cannot open"), std::string::npos) << r.err;

    // A text with an error is not rewritten: the first error, with its place.
    std::string bad = tempFile("bad.vrd", "(A 1\n (B 2");
    r = vrd("fmt " + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vrd: " + bad + ": Bad form (line 2, column 5)\n");

    r = vrd("fmt " + in + " -o /nonexistent-dir/out.vrd");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1);
    EXPECT_NE(r.err.find("/nonexistent-dir/out.vrd: cannot open for writing"), std::string::npos) << r.err;
}

TEST(CliText, CheckListsEveryErrorWhereItWasMet) {
    std::string clean = tempFile("clean.vrd", "\n(A 1 (B \"two\"))\n\n");
    ToolRun r = vrd("check " + clean);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    std::string bad = tempFile("points.vrd", "junk (A (PT 1 2 3)) x");
    r = vrd("check " + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, bad + ":1:1: Unexpected data before first form\n" + bad + ":1:17: Bad point\n" + bad +
                         ":1:19: Unexpected data after last form\n");

    std::string open = tempFile("open.vrd", "(A 1\n  \"abc");
    r = vrd("check " + open);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, open + ":2:6: Bad string\n" + open + ":2:6: Bad form\n");

    std::string empty = tempFile("empty.vrd", "  \n");
    r = vrd("check " + empty);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, empty + ":1:3: No data in file\n");

    r = vrd("check " + scratch("missing.vrd"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineCount(r.err), 1);
    r = vrd("check");
    EXPECT_EQ(r.status, 2);
}

TEST(CliText, EachCommandHasItsOwnHelp) {
    ToolRun r = vrd("fmt --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: vrd fmt FILE", 0), 0u) << r.out;
    r = vrd("check --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: vrd check FILE", 0), 0u) << r.out;
    r = vrd("--help");
    EXPECT_NE(r.out.find("  fmt FILE"), std::string::npos);
    EXPECT_NE(r.out.find("  check FILE"), std::string::npos);
}

class CliExample : public vrdtest::StoreTest {};

TEST_F(CliExample, ThePlantModelIsCleanAndSurvivesFormatting) {
    std::string plant = std::string(VRD_SOURCE_DIR) + "/examples/plant.vrd";
    std::string text = slurp(plant);
    ASSERT_GT(lineCount(text), 300);
    ToolRun r = vrd("check " + plant);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");

    // Formatting is stable, and the formatted text holds the same tree.
    std::string once = scratch("plant1.vrd");
    ASSERT_EQ(vrd("fmt " + plant + " -o " + once).status, 0);
    ToolRun twice = vrd("fmt " + once);
    ASSERT_EQ(twice.status, 0);
    EXPECT_EQ(twice.out, slurp(once));

    VRDentity original{}, formatted{};
    ASSERT_EQ(vrdtest::readText(text, &original), 0);
    ASSERT_EQ(vrdtest::readText(twice.out, &formatted), 0);
    EXPECT_TRUE(takeReports().empty());
    std::string tree = vrdtest::describe(original);
    EXPECT_EQ(vrdtest::describe(formatted), tree);
    // The sample exercises every kind of value, big and negative integers included.
    for (const char *piece : {"pt(", "r:", "s:\"", "id:", "i:-", "i:2146"}) EXPECT_NE(tree.find(piece), std::string::npos) << piece;
}

}  // namespace
