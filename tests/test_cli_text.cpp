// test_cli_text.cpp - `vrd fmt` and `vrd check` run end to end on real files.
#include <gtest/gtest.h>

#include <string>

#include "cli_support.h"
#include "text_support.h"

namespace {

using namespace vrdtest;

TEST(CliText, FmtWritesTheWritersLayoutWithItsOptions) {
    std::string in = tempFile("small.vrd", "(A 1\n\n   \"x\" (b 2) (PT 3 4) y.z -0.50)"), out = scratch("out.vrd");
    const std::string lower = "\n(a 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n";
    for (const auto &[args, expected] : {std::pair<std::string, std::string>{in, "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n"},
                                        {"--upper --no-indent " + in, "\n(A 1 \"x\"\n(B 2) (PT 3 4) Y.Z -0.5)\n"},
                                        {in + " --lower", lower}}) {
        ToolRun r = vrd("fmt " + args);
        EXPECT_TRUE(r.status == 0 && r.err.empty()) << args << ": " << r.err;
        EXPECT_EQ(r.out, expected) << args;
    }
    ToolRun r = vrd("fmt --lower " + in + " -o " + out);
    EXPECT_TRUE(r.status == 0 && r.out.empty());
    EXPECT_EQ(slurp(out), lower);
}

TEST(CliText, FmtRefusesBadArgumentsFilesAndTexts) {
    std::string in = tempFile("args.vrd", "(A)"), bad = tempFile("bad.vrd", "(A 1\n (B 2");
    for (const std::string &args : {std::string(), "--upper --lower " + in, "--bogus " + in, std::string("a.vrd b.vrd")}) {
        ToolRun r = vrd("fmt " + args);
        EXPECT_TRUE(r.status == 2 && r.out.empty() && !r.err.empty()) << args;
    }
    // Files that cannot be opened, or a text's first error with its place: status 1, one line.
    for (const auto &[args, message] :
         {std::pair<std::string, std::string>{scratch("missing.vrd"), scratch("missing.vrd") + ": cannot open"},
          {in + " -o /nonexistent-dir/out.vrd", "/nonexistent-dir/out.vrd: cannot open for writing"},
          {bad, bad + ": Bad form (line 2, column 5)"}}) {
        ToolRun r = vrd("fmt " + args);
        EXPECT_TRUE(r.status == 1 && r.out.empty() && lineCount(r.err) == 1) << args;
        EXPECT_EQ(r.err.rfind("vrd: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

TEST(CliText, CheckListsEveryErrorWhereItWasMet) {
    const std::string f = scratch("check.vrd");  // where tempFile puts it
    for (const auto &[text, expected] : {std::pair<std::string, std::string>{"\n(A 1 (B \"two\"))\n\n", ""},
                                         {"junk (A (PT 1 2 3)) x", f + ":1:1: Unexpected data before first form\n" + f +
                                                                       ":1:17: Bad point\n" + f + ":1:19: Unexpected data after last form\n"},
                                         {"(A 1\n  \"abc", f + ":2:6: Bad string\n" + f + ":2:6: Bad form\n"},
                                         {"  \n", f + ":1:3: No data in file\n"}}) {
        ToolRun r = vrd("check " + tempFile("check.vrd", text));
        EXPECT_EQ(r.status, expected.empty() ? 0 : 1) << text;
        EXPECT_EQ(r.out, expected);
    }
    ToolRun r = vrd("check " + scratch("missing.vrd"));
    EXPECT_TRUE(r.status == 2 && r.out.empty() && lineCount(r.err) == 1) << r.err;
    EXPECT_EQ(vrd("check").status, 2);
    EXPECT_EQ(vrd("check --help").out.rfind("usage: vrd check FILE", 0), 0u);
}

class CliExample : public StoreTest {};

TEST_F(CliExample, ThePlantModelIsCleanAndSurvivesFormatting) {
    std::string plant = std::string(VRD_SOURCE_DIR) + "/examples/plant.vrd", once = scratch("plant1.vrd");
    EXPECT_EQ(vrd("check " + plant).status, 0);
    // Formatting is stable, and the formatted text holds the same tree.
    ASSERT_EQ(vrd("fmt " + plant + " -o " + once).status, 0);
    ToolRun twice = vrd("fmt " + once);
    ASSERT_EQ(twice.status, 0);
    EXPECT_EQ(twice.out, slurp(once));
    VRDentity original{}, formatted{};
    ASSERT_EQ(readText(slurp(plant), &original), 0);
    ASSERT_EQ(readText(twice.out, &formatted), 0);
    EXPECT_TRUE(takeReports().empty());
    std::string tree = describe(original);
    EXPECT_EQ(describe(formatted), tree);
    for (const char *piece : {"pt(", "r:", "s:\"", "id:", "i:-", "i:2146"}) EXPECT_NE(tree.find(piece), std::string::npos) << piece;
}

}  // namespace
