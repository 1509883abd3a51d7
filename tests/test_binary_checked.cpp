// test_binary_checked.cpp - checked output: the binary dump reports every failure with its reason, the text writer on close.
#include <cerrno>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include "support.h"

namespace {

using namespace vrdtest;

class CheckedDump : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        VRDentity root = form("Root"), e{};
        add(root, {integer(1), integer(400000000)});
        ASSERT_EQ(VRDformAddReal(kEnd, &e, root, 2.5), 0);
        ASSERT_EQ(VRDformAddString(root, kEnd, "text", &e), 0);
        ASSERT_EQ(VRDformAddPoint(kEnd, &e, child(root, "P"), 3, -4), 0);
    }
};

// Over an older, longer file the checked dump leaves exactly its own bytes;
// the standard dump, which the file format allows to leave the old tail, still does.
TEST_F(CheckedDump, SameBytesAsTheStandardDumpWithoutTheOldTail) {
    std::string fresh = scratchPath("fresh.bin"), over = scratchPath("over.bin"), standard = scratchPath("std.bin");
    std::remove(fresh.c_str());
    const std::string tail(100000, 'x');
    std::ofstream(over, std::ios::binary) << tail;
    std::ofstream(standard, std::ios::binary) << tail;
    expectOk({VRDfileWriteBinary(fresh.c_str()), VRDfileWriteBinaryChecked(over.c_str()),
              VRDfileWriteBinary(standard.c_str())});
    std::string dump = slurp(fresh);
    ASSERT_GT(dump.size(), 4u);
    EXPECT_EQ(slurp(over), dump);
    EXPECT_EQ(slurp(standard), dump + tail.substr(dump.size()));
    EXPECT_TRUE(takeReports().empty());
    ASSERT_EQ(VRDfileReadBinary(over.c_str()), 0);
    EXPECT_EQ(slurp(fresh), dump);
}

// A full device: the standard dump says nothing (its writes are not examined);
// the checked one reports -25 under its own name with the system's reason in
// errno.  The text writer gives 0 whatever its writes did, without a report;
// a failed write leaves the channel failed, and closing it says so.
TEST_F(CheckedDump, FullDeviceIsReportedWithTheSystemsReason) {
    if (fullDevice() == nullptr) GTEST_SKIP() << "no full device here";
    EXPECT_EQ(VRDfileWriteBinary("/dev/full"), 0);
    EXPECT_TRUE(takeReports().empty());
    errno = 0;
    EXPECT_EQ(VRDfileWriteBinaryChecked("/dev/full"), 1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_WRITE}}));
    EXPECT_EQ(VRDlastError(), -25);
    EXPECT_STREQ(VRDerrorMessage(VRD_E_WRITE), "Unknown error");
    TextChannel *full = openTextFile("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    VRDentity root = VRDformFindFirst(VRDkeyFind("Root"), 0, nullptr, nullptr);
    for (int i = 0; i < 2000; ++i) EXPECT_EQ(VRDfileWriteEntity(full, 1, root, 1), 0);
    EXPECT_EQ(closeTextFile(full), -1);
    EXPECT_TRUE(takeReports().empty());
}

#ifndef _WIN32
// A file-size limit cuts the dump short: with SIGXFSZ ignored the write that
// crosses it fails with EFBIG, which the checked dump reports wherever it
// falls, up to the last section's last byte; the child tells the parent.
TEST_F(CheckedDump, FileSizeLimitIsReportedInEverySection) {
    std::string path = scratchPath("limited.bin");
    std::remove(path.c_str());
    ASSERT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    const size_t size = slurp(path).size();
    for (size_t limit : {size_t{100}, size / 2, size - 8, size - 1}) {
        std::remove(path.c_str());
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit cap = {limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
            reports().clear();
            errno = 0;
            int status = VRDfileWriteBinaryChecked(path.c_str());
            bool reported = reports() == std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_WRITE}};
            _exit(status == 1 && errno == EFBIG && reported ? 0 : 1);
        }
        int raw = 0;
        ASSERT_EQ(waitpid(child, &raw, 0), child);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << limit;
        EXPECT_EQ(slurp(path).size(), limit);  // what the limit let through
    }
}
#endif

TEST_F(CheckedDump, OpenFailureAndNoStore) {
    errno = 0;
    EXPECT_EQ(VRDfileWriteBinaryChecked(::testing::TempDir().c_str()), 1);
    EXPECT_EQ(errno, EISDIR);
    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    EXPECT_EQ(VRDfileWriteBinaryChecked(scratchPath("none.bin").c_str()), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_OPEN},
                                                  {"VRDfileWriteBinaryChecked", VRD_E_NOSTORE}}));
}

}  // namespace
