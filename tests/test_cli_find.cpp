// test_cli_find.cpp - `vrd find` run end to end on real files.
#include "cli_support.h"

#include <algorithm>
#include <string>

namespace {

using vrdtest::tempFile;
using vrdtest::ToolRun;
using vrdtest::vrd;

struct FindCase {
    const char *args;
    int status;
    const char *out;
};

TEST(CliFind, PrintsMatchesDepthFirstInTheWritersLayoutOrExitsOne) {
    std::string in = tempFile("tree.vrd", "(R 1 (B 2 (A 1 \"x\") (A 2 y)) (A 1 \"x\" 3.5) (A 1 z)\n"
                                          " (C (A 1 \"x\" (A 1 \"x\"))) (A 1000000000 -4))");
    // Strings, wildcards, identifiers, reals, big and negative integers; a keyword, string or
    // identifier the file lacks finds nothing: the pools are never searched by adding to them.
    const FindCase cases[] = {
        {" A", 0, "\n(A 1 \"x\")\n\n(A 2 y)\n\n(A 1 \"x\" 3.5)\n\n(A 1 z)\n\n(A 1 \"x\"\n (A 1 \"x\"))\n"
                  "\n(A 1000000000 -4)\n"},
        {" A 1 '\"x\"'", 0, "\n(A 1 \"x\")\n\n(A 1 \"x\" 3.5)\n\n(A 1 \"x\"\n (A 1 \"x\"))\n"},
        {" A _ y", 0, "\n(A 2 y)\n"},
        {" A 1 _ 3.5", 0, "\n(A 1 \"x\" 3.5)\n"},
        {" A +1000000000 -4", 0, "\n(A 1000000000 -4)\n"},
        {" B 2", 0, "\n(B 2\n (A 1 \"x\")\n (A 2 y))\n"},
        {" Q", 1, ""}, {" A '\"y\"'", 1, ""}, {" A 1 w", 1, ""}, {" A 3", 1, ""}, {" A 1 _ 2.5", 1, ""},
        {" R", 1, ""}, {" A 1 '\"x\"' 3.5 _ _", 1, ""},
    };
    for (const FindCase &c : cases) {
        ToolRun r = vrd("find " + in + c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_EQ(r.err, "") << c.args;
    }
}

TEST(CliFind, RefusesBadArgumentsAndUnreadableFiles) {
    ToolRun r = vrd("find --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: vrd find FILE KEYWORD [VALUE...]"), std::string::npos);
    std::string in = tempFile("args.vrd", "(A 1)"), broken = tempFile("broken.vrd", "(A 1");
    for (const std::string &args : {std::string("find"), "find " + in, "find " + vrdtest::scratch("missing.vrd") + " A",
                                    "find " + in + " A 99999999999", "find " + broken + " A"}) {
        r = vrd(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;  // one line
    }
}

}  // namespace
