// test_cli_find.cpp - `vrd find` run end to end on real files.
#include "cli_support.h"

#include <string>

namespace {

using vrdtest::RunOptions;
using vrdtest::tempFile;
using vrdtest::ToolRun;
using vrdtest::vrdRun;

struct FindCase { std::vector<std::string> args; int status; const char *out; };  // args: after FILE

TEST(CliFind, PrintsMatchesDepthFirstFromTheRootOrSaysNothingMatched) {
    std::string in = tempFile("tree.vrd", "(R 1 (B 2 (A 1 \"x\") (A 2 y)) (A 1 \"x\" 3.5) (A 1 z)\n"
                                          " (C (A 1 \"x\" (A 1 \"x\"))) (A 1000000000 -4))");
    // Strings, wildcards, identifiers, reals, big and negative integers, the
    // root itself; a keyword, string or identifier the file lacks finds
    // nothing: the pools are never searched by adding to them.
    const FindCase cases[] = {
        {{"A"}, 0, "(A 1 \"x\")\n(A 2 y)\n(A 1 \"x\" 3.5)\n(A 1 z)\n(A 1 \"x\"\n (A 1 \"x\"))\n(A 1000000000 -4)\n"},
        {{"A", "1", "\"x\""}, 0, "(A 1 \"x\")\n(A 1 \"x\" 3.5)\n(A 1 \"x\"\n (A 1 \"x\"))\n"},
        {{"A", "_", "y"}, 0, "(A 2 y)\n"},
        {{"A", "1", "_", "3.5"}, 0, "(A 1 \"x\" 3.5)\n"},
        {{"A", "+1000000000", "-4"}, 0, "(A 1000000000 -4)\n"},
        {{"B", "2"}, 0, "(B 2\n (A 1 \"x\")\n (A 2 y))\n"},
        {{"R", "1"}, 0, "(R 1\n (B 2\n  (A 1 \"x\")\n  (A 2 y))\n (A 1 \"x\" 3.5)\n (A 1 z)\n (C\n  (A 1 \"x\"\n   (A 1 \"x\")))\n"
                        " (A 1000000000 -4))\n"},
        {{"--json", "A", "2"}, 0, "[\"A\",2,{\"id\":\"y\"}]\n"},
        {{"Q"}, 1, ""}, {{"A", "\"y\""}, 1, ""}, {{"A", "1", "w"}, 1, ""}, {{"A", "3"}, 1, ""},
        {{"A", "1", "_", "2.5"}, 1, ""}, {{"R", "2"}, 1, ""}, {{"A", "1", "\"x\"", "3.5", "_", "_"}, 1, ""},
    };
    for (const FindCase &c : cases) {
        std::vector<std::string> args{"find", in};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun r = vrdRun(args);
        std::string shown = args.back();
        EXPECT_EQ(r.status, c.status) << shown;
        EXPECT_EQ(r.out, c.out) << shown;
        std::string words;
        for (size_t i = 2; i < args.size(); ++i)
            if (args[i] != "--json") words += (words.empty() ? "" : " ") + args[i];
        EXPECT_EQ(r.err, c.status == 0 ? "" : "vrd find: no form " + words + " in " + in + "\n") << shown;
    }
    EXPECT_EQ(vrdRun({"find", "-q", in, "Q"}).err, "");
}

// The help, the usual usage errors and unreadable files are checked for
// every command in test_cli_args; a missing KEYWORD and a VALUE beyond 32 bits are find's own.
TEST(CliFind, RefusesBadArgumentsBrokenFilesAndLossyMatches) {
    std::string in = tempFile("args.vrd", "(A 1 (B 2.0))"), broken = tempFile("broken.vrd", "(A 1");
    ToolRun r;
    for (const std::vector<std::string> &args : {std::vector<std::string>{"find", in}, {"find", in, "A", "99999999999"}}) {
        r = vrdRun(args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(vrdtest::lineCount(r.err), 1) << r.err;
    }
    r = vrdRun({"find", broken, "A"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrd: " + broken + ": Bad form: the text ends inside form 'A' opened at 1:1 (line 1, column 4)\n");
    // A match holding a real that %g would turn into an integer.
    r = vrdRun({"find", in, "B"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vrd: " + in + ": match 1 .[1]: warning: real 2.0 is written as 2 and reads back as an integer "
                     "(--exact-reals keeps it)\nvrd find: 1 value would not come back from the output; nothing written "
                     "(--allow-loss writes it anyway)\n");
    EXPECT_EQ(vrdRun({"find", "--exact-reals", in, "B"}).out, "(B 2.0)\n");
}

}  // namespace
