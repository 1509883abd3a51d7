// test_cli_find.cpp - `vrd find` run end to end on real files.
#include "cli_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using vrdtest::lineCount;
using vrdtest::scratch;
using vrdtest::slurp;
using vrdtest::tempFile;
using vrdtest::ToolRun;
using vrdtest::vrd;

const char *kTree = "(R 1 (B 2 (A 1 \"x\") (A 2 y)) (A 1 \"x\" 3.5) (A 1 z)\n"
                    " (C (A 1 \"x\" (A 1 \"x\"))) (A 1000000000 -4))";

TEST(CliFind, PrintsMatchingFormsDepthFirstInTheWritersLayout) {
    std::string in = tempFile("tree.vrd", kTree);
    ToolRun r = vrd("find " + in + " A");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "\n(A 1 \"x\")\n\n(A 2 y)\n\n(A 1 \"x\" 3.5)\n\n(A 1 z)\n\n(A 1 \"x\"\n (A 1 \"x\"))\n"
              "\n(A 1000000000 -4)\n");
    EXPECT_EQ(r.err, "");

    // Strings, wildcards, identifiers, reals, big and negative integers.
    r = vrd("find " + in + " A 1 '\"x\"'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n(A 1 \"x\")\n\n(A 1 \"x\" 3.5)\n\n(A 1 \"x\"\n (A 1 \"x\"))\n");
    r = vrd("find " + in + " A _ y");
    EXPECT_EQ(r.out, "\n(A 2 y)\n");
    r = vrd("find " + in + " A 1 _ 3.5");
    EXPECT_EQ(r.out, "\n(A 1 \"x\" 3.5)\n");
    r = vrd("find " + in + " A +1000000000 -4");
    EXPECT_EQ(r.out, "\n(A 1000000000 -4)\n");
    r = vrd("find " + in + " B 2");
    EXPECT_EQ(r.out, "\n(B 2\n (A 1 \"x\")\n (A 2 y))\n");
    EXPECT_EQ(r.status, 0);
}

TEST(CliFind, NoMatchExitsOneWithNothingPrinted) {
    std::string in = tempFile("nomatch.vrd", kTree);
    // A keyword, a string or an identifier that the file does not hold, and
    // values that no form has: the pools are never searched by adding to them.
    for (const char *args : {" Q", " A '\"y\"'", " A 1 w", " A 3", " A 1 _ 2.5", " R", " A 1 '\"x\"' 3.5 _ _"}) {
        ToolRun r = vrd("find " + in + args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err, "") << args;
    }
}

TEST(CliFind, RefusesBadArgumentsAndUnreadableFiles) {
    ToolRun r = vrd("find --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: vrd find FILE KEYWORD [VALUE...]"), std::string::npos);
    EXPECT_NE(r.out.find("1 when"), std::string::npos);

    std::string in = tempFile("args.vrd", kTree);
    for (const std::string &args : {std::string("find"), "find " + in, "find " + scratch("missing.vrd") + " A",
                                    "find " + in + " A 99999999999"}) {
        r = vrd(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        // One line on stderr.
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    }
    std::string broken = tempFile("broken.vrd", "(A 1");
    r = vrd("find " + broken + " A");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

}  // namespace
