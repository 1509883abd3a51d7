// test_cli_binary.cpp - `vrd pack`, `vrd unpack` and `vrd stats` run end to end on real files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "cli_support.h"
#include "support.h"

namespace {

using vrdtest::lineCount;
using vrdtest::scratch;
using vrdtest::slurp;
using vrdtest::tempFile;
using vrdtest::ToolRun;
using vrdtest::vrd;

std::string statisticsOfCurrentStore() {
    testing::internal::CaptureStdout();
    VRDstatistics();
    return testing::internal::GetCapturedStdout();
}

class CliBinary : public vrdtest::StoreTest {};

const char kText[] = "(A 1 \"x\" (b 2) (PT 3 4) y.z -0.50 300000000)";

// The packed file is exactly the library's dump of the store the text
// makes; unpacking gives the writer's layout of that tree.
TEST_F(CliBinary, PackWritesTheStoresDumpAndUnpackGivesTheTextBack) {
    std::string in = tempFile("in.vrd", kText);
    std::string packed = scratch("packed.bin");
    std::remove(packed.c_str());
    ToolRun r = vrd("pack " + in + " " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    TextChannel *text = openTextString(kText, std::strlen(kText));
    VRDentity root;
    ASSERT_EQ(VRDfileReadEntity(text, VRDnullEntity(), -1, 0, &root), 0);
    closeTextFile(text);
    std::string expected = scratch("expected.bin");
    ASSERT_EQ(VRDfileWriteBinary(expected.c_str()), 0);
    EXPECT_EQ(slurp(packed), slurp(expected));

    r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5 300000000)\n");
    std::string out = scratch("unpacked.vrd");
    r = vrd("unpack " + packed + " -o " + out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(out), "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5 300000000)\n");
}

// Several roots: every live form without an owner, in key and index order;
// owned and killed forms are not roots.
TEST_F(CliBinary, UnpackWritesEveryLiveRootInKeyAndIndexOrder) {
    VRDentity b0, b1, b2, c, d, e;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "B", &b0), 0);
    ASSERT_EQ(VRDformAddInt(b0, 0xFFFFFFFF, 1, &e), 0);
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "D", &d), 0);
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "B", &b1), 0);
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "B", &b2), 0);
    ASSERT_EQ(VRDformAddForm(b2, 0xFFFFFFFF, VRD_NO_KEY, "C", &c), 0);
    ASSERT_EQ(VRDformAddInt(c, 0xFFFFFFFF, 2, &e), 0);
    ASSERT_EQ(VRDformKill(b1, 0, 0), 0);
    std::string packed = scratch("roots.bin");
    ASSERT_EQ(VRDfileWriteBinary(packed.c_str()), 0);
    ToolRun r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n(B 1)\n(B\n (C 2))\n(D)\n");
}

// The report of a file is the report of the store it reads into, whether the
// file is text or binary.
TEST_F(CliBinary, StatsReadsTextAndBinaryFiles) {
    std::string in = tempFile("stats.vrd", kText);
    std::string packed = scratch("stats.bin");
    ASSERT_EQ(vrd("pack " + in + " " + packed).status, 0);

    ToolRun r = vrd("stats " + packed);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(VRDfileReadBinary(packed.c_str()), 0);
    EXPECT_EQ(r.out, statisticsOfCurrentStore());
    EXPECT_NE(r.out.find("Reals          - 1/1 entries, 8/8 lists\n"), std::string::npos);

    r = vrd("stats " + in);
    EXPECT_EQ(r.status, 0);
    ASSERT_NE(VRDnew("text"), nullptr);
    TextChannel *text = openTextString(kText, std::strlen(kText));
    VRDentity root;
    ASSERT_EQ(VRDfileReadEntity(text, VRDnullEntity(), -1, 0, &root), 0);
    closeTextFile(text);
    EXPECT_EQ(r.out, statisticsOfCurrentStore());
    EXPECT_NE(r.out.find("Reals          - 1/62 entries, 8/496 lists\n"), std::string::npos);
}

TEST_F(CliBinary, BadInputGivesOneLineAndAFailingStatus) {
    std::string missing = scratch("missing");
    std::remove(missing.c_str());
    std::string wrongVersion = tempFile("v7.bin", std::string("\x07\0\0\0\0\0\0\0", 8));
    std::string truncated = tempFile("cut.bin", std::string("\x06\0\0\0\x05\0\0\0A", 9));
    std::string badText = tempFile("bad.vrd", "(A 1");
    std::string good = tempFile("good.vrd", kText);
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"pack " + missing + " " + scratch("o.bin"), "vrd: " + missing + ": cannot open for reading"},
        {"pack " + badText + " " + scratch("o.bin"), "vrd: " + badText + ": "},
        {"pack " + good + " " + ::testing::TempDir(), "vrd: " + ::testing::TempDir() + ": Can't open file"},
        {"unpack " + missing, "vrd: " + missing + ": cannot open for reading"},
        {"unpack " + wrongVersion, "vrd: " + wrongVersion + ": Incompatible binary file"},
        {"unpack " + truncated, "vrd: " + truncated + ": Unexpected end-of-file"},
        {"stats " + missing, "vrd: " + missing + ": cannot open for reading"},
        {"stats " + truncated, "vrd: " + truncated + ": Unexpected end-of-file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = vrd(c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    }
    EXPECT_EQ(vrd("pack " + good).status, 2);
    EXPECT_EQ(vrd("unpack").status, 2);
    EXPECT_EQ(vrd("stats a b").status, 2);
}

TEST_F(CliBinary, EachCommandDescribesItself) {
    const char *commands[] = {"pack", "unpack", "stats"};
    for (const char *command : commands) {
        ToolRun r = vrd(std::string(command) + " --help");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("usage: vrd ") + command, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    ToolRun r = vrd("--help");
    EXPECT_NE(r.out.find("unpack IN [-o OUT]"), std::string::npos);
}

}  // namespace
