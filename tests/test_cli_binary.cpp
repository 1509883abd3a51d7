// test_cli_binary.cpp - `vrd pack`, `vrd unpack` and `vrd stats` run end to end on real files.
#include "cli_support.h"
#include "support.h"

namespace {

using namespace vrdtest;
using CliBinary = TreeTest;

const char kText[] = "(A 1 \"x\" (b 2) (PT 3 4) y.z -0.50 300000000)";
const char kWritten[] = "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5 300000000)\n";

// The packed file is exactly the library's dump of the store the text makes,
// unpacking gives the writer's layout of that tree, and the report of either
// file is the report of the store it reads into.
TEST_F(CliBinary, PackUnpackAndStatsAgreeWithTheLibrary) {
    std::string in = tempFile("in.vrd", kText), packed = scratch("packed.bin"), out = scratch("unpacked.vrd");
    std::string expected = scratch("expected.bin");
    ToolRun r = vrd("pack " + in + " " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    TextChannel *text = openTextString(kText, std::strlen(kText));
    VRDentity root;
    ASSERT_EQ(VRDfileReadEntity(text, VRDnullEntity(), -1, 0, &root), 0);
    closeTextFile(text);
    ASSERT_EQ(VRDfileWriteBinary(expected.c_str()), 0);
    EXPECT_EQ(slurp(packed), slurp(expected));
    EXPECT_EQ(vrd("stats " + in).out, statisticsReport());
    r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kWritten);
    EXPECT_EQ(vrd("unpack " + packed + " -o " + out).out, "");
    EXPECT_EQ(slurp(out), kWritten);
    r = vrd("stats " + packed);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(VRDfileReadBinary(packed.c_str()), 0);
    EXPECT_EQ(r.out, statisticsReport());
    EXPECT_NE(r.out.find("Reals          - 1/1 entries, 8/8 lists\n"), std::string::npos);  // not the text's 1/62
}

// Every live form without an owner is a root, in key and index order.
TEST_F(CliBinary, UnpackWritesEveryLiveRootInKeyAndIndexOrder) {
    add(form("B"), {integer(1)});
    form("D");
    VRDentity killed = form("B");
    add(child(form("B"), "C"), {integer(2)});
    std::string packed = scratch("roots.bin");
    expectOk({VRDformKill(killed, 0, 0), VRDfileWriteBinary(packed.c_str())});
    EXPECT_EQ(vrd("unpack " + packed).out, "\n(B 1)\n(B\n (C 2))\n(D)\n");
}

// Bad input: one line on stderr naming the file and a failing status; bad
// arguments exit with 2; each command describes itself.
TEST_F(CliBinary, BadInputAndUsage) {
    std::string missing = scratch("missing"), dir = testing::TempDir();
    std::remove(missing.c_str());
    std::string v7 = tempFile("v7.bin", std::string("\x07\0\0\0\0\0\0\0", 8)), badText = tempFile("bad.vrd", "(A 1");
    std::string cut = tempFile("cut.bin", std::string("\x06\0\0\0\x05\0\0\0A", 9)), good = tempFile("good.vrd", kText);
    const std::pair<std::string, std::string> cases[] = {
        {"pack " + missing + " " + scratch("o.bin"), missing + ": cannot open for reading"},
        {"pack " + badText + " " + scratch("o.bin"), badText + ": "},
        {"pack " + good + " " + dir, dir + ": Can't open file"},
        {"unpack " + missing, missing + ": cannot open for reading"},
        {"unpack " + v7, v7 + ": Incompatible binary file"},
        {"unpack " + cut, cut + ": Unexpected end-of-file"},
        {"stats " + missing, missing + ": cannot open for reading"},
        {"stats " + cut, cut + ": Unexpected end-of-file"},
    };
    for (const auto &[args, message] : cases) {
        ToolRun r = vrd(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("vrd: " + message, 0), 0u) << r.err;
    }
    for (const std::string &args : {"pack " + good, std::string("unpack"), std::string("stats a b")})
        EXPECT_EQ(vrd(args).status, 2) << args;
    for (std::string command : {"pack", "unpack", "stats"})
        EXPECT_EQ(vrd(command + " --help").out.rfind("usage: vrd " + command, 0), 0u) << command;
}

}  // namespace
