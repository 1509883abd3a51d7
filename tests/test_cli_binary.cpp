// test_cli_binary.cpp - `vrd pack`, `vrd unpack` and `vrd stats` end to end: files, pipes, full disks, old tails.
#include <sys/stat.h>

#include <filesystem>

#include "cli_support.h"
#include "text_support.h"

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
    ToolRun r = vrd("pack " + in + " -o " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    VRDentity root;
    ASSERT_EQ(readText(kText, &root), 0);
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

// Pipes everywhere: text from standard input, a binary file to standard
// output, and a binary file read back from standard input (the format sniff
// must not eat it) or through /dev/stdin.
TEST_F(CliBinary, StandardStreamsAndPipes) {
    std::string in = tempFile("pipe.vrd", kText), viaStdout = scratch("stdout.bin"), reference = scratch("ref.bin");
    ASSERT_EQ(vrd("pack " + in + " -o " + reference).status, 0);
    ToolRun r = vrd("pack - -o -", RunOptions{in, viaStdout, {}, false});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(viaStdout), slurp(reference));
    EXPECT_EQ(vrd("pack " + in, stdoutTo(viaStdout)).status, 0);  // no -o: standard output, not a terminal here
    EXPECT_EQ(slurp(viaStdout), slurp(reference));
    for (const char *name : {"-", "/dev/stdin"}) {
        if (std::string(name) == "/dev/stdin" && !std::filesystem::exists(name)) continue;  // not on Windows
        r = vrd(std::string("unpack ") + name, stdinFrom(reference));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, kWritten);
        r = vrd(std::string("stats ") + name, stdinFrom(reference));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, vrd("stats " + reference).out);
    }
}

// Every output replaces its target only when complete: a full device is an
// error with the system's reason, a shorter file leaves no old tail, and a
// failed write leaves the old file as it was.
TEST_F(CliBinary, OutputsAreCheckedAndReplacedWhole) {
    std::string in = tempFile("out.vrd", kText), old = scratch("old.bin"), reference = scratch("ref2.bin");
    ASSERT_EQ(vrd("pack " + in + " -o " + reference).status, 0);
    for (const std::string &args : {"pack " + in + " -o /dev/full", "fmt " + in + " -o /dev/full",
                                    "unpack " + reference + " -o /dev/full"}) {
        if (fullDevice() == nullptr) break;
        ToolRun r = vrd(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err, "vrd: /dev/full: cannot write: No space left on device\n") << args;
    }
    for (const std::string &args : {"pack " + in + " -o -", "stats " + in, "check " + in + " --version", std::string("--help")}) {
        if (fullDevice() == nullptr) break;
        ToolRun r = vrd(args, stdoutTo("/dev/full"));
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("standard output: cannot write: No space left on device"), std::string::npos) << args << r.err;
    }
    tempFile("old.bin", std::string(200000, 'o'));
    ASSERT_EQ(vrd("pack " + in + " -o " + old).status, 0);
    EXPECT_EQ(slurp(old), slurp(reference));
    // A directory that refuses new files: the old file stays whole.  Windows
    // directories have no such mode bits; there the target is simply replaced.
    std::string dir = scratch("locked");
    std::filesystem::create_directory(dir);
    std::string kept = dir + "/kept.vrd";
    tempFile("locked/kept.vrd", "(old)");
#ifndef _WIN32
    chmod(dir.c_str(), 0555);
    if (geteuid() != 0) {  // root writes anywhere
        ToolRun r = vrd("fmt " + in + " -o " + kept);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "vrd: " + kept + ": cannot write: Permission denied; the file is left as it was\n");
        EXPECT_EQ(slurp(kept), "(old)");
    }
    chmod(dir.c_str(), 0755);
#endif
    // No temporary file is left beside a target.
    ToolRun r = vrd("fmt " + in + " -o " + kept);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(kept), kWritten);
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

// A store built through the interface may hold what the text cannot carry:
// unpack names each value with its path and writes nothing unless allowed.
TEST_F(CliBinary, UnpackRefusesWhatTheTextCannotCarry) {
    VRDentity root = form("Pt"), e{}, deep = child(root, "d");
    ASSERT_EQ(VRDformAddString(root, kEnd, "say \"hi\"", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "two words", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "-12", &e), 0);
    ASSERT_EQ(VRDformAddReal(kEnd, &e, root, 0.1 + 0.2), 0);
    ASSERT_EQ(VRDformAddString(root, kEnd, std::string(1999, 'l').c_str(), &e), 0);
    for (int i = 0; i < 49; ++i) deep = child(deep, "d");
    std::string packed = scratch("lossy.bin");
    ASSERT_EQ(VRDfileWriteBinary(packed.c_str()), 0);
    ToolRun r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string p = "vrd: " + packed + ": ";
    EXPECT_EQ(r.err, p + ".: warning: a form with keyword 'Pt' reads back as a point group\n" + p +
                         ".[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]"
                         "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]: warning: forms nested deeper than 49 "
                         "levels do not read back\n" +
                         p + ".[2]: warning: string \"say \"hi\"\" holds '\"', which ends it when read back\n" + p +
                         ".[3]: warning: identifier 'two words' does not read back as one token\n" + p +
                         ".[4]: warning: identifier '-12' reads back as an integer\n" + p +
                         ".[5]: warning: real 0.30000000000000004 is written as 0.3 and reads back as 0.3 (--exact-reals keeps it)\n" +
                         p + ".[6]: warning: string of 1999 bytes is longer than the reader's 1998\n"
                         "vrd unpack: 7 values would not come back from the output; nothing written (--allow-loss writes it anyway)\n");
    // check lists the same, on standard output, without the command's prefix.
    ToolRun checked = vrd("check " + packed);
    EXPECT_EQ(checked.status, 1);
    EXPECT_EQ(lineCount(checked.out), 7);
    EXPECT_EQ(checked.out.rfind(packed + ": .: warning: a form with keyword 'Pt' reads back as a point group\n", 0), 0u);
    r = vrd("unpack --exact-reals --allow-loss -q " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\"say \"hi\"\" two words -12 0.30000000000000004 \"lll"), std::string::npos) << r.out;
}

TEST_F(CliBinary, BadInputAndUsage) {
    std::string dir = testing::TempDir();  // a missing input: test_cli_args, for every command
    std::string v7 = tempFile("v7.bin", std::string("\x07\0\0\0\0\0\0\0", 8)), badText = tempFile("bad.vrd", "(A 1");
    std::string cut = tempFile("cut.bin", std::string("\x06\0\0\0\x05\0\0\0A", 9)), good = tempFile("good.vrd", kText);
    struct Case { std::string args; int status; std::string message; };
    const Case cases[] = {
        {"pack " + badText + " -o " + scratch("o.bin"), 1, badText + ": Bad form: the text ends inside form 'A'"},
        {"pack " + good + " -o " + dir, 2, dir + ": cannot write: Is a directory"},
        {"pack " + cut + " -o " + scratch("o.bin"), 1, cut + ": already a binary file"},
        {"unpack " + dir, 2, dir + ": cannot read: Is a directory"},
        {"unpack " + v7, 1, v7 + ": not a binary file"},
        {"unpack " + good, 1, good + ": not a binary file"},
        {"unpack " + cut, 1, cut + ": Unexpected end-of-file"},
        {"stats " + dir, 2, dir + ": cannot read: Is a directory"},
        {"stats " + cut, 1, cut + ": Unexpected end-of-file"},
    };
    for (const Case &c : cases) {
        ToolRun r = vrd(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("vrd: " + c.message, 0), 0u) << r.err;
    }
}

}  // namespace
