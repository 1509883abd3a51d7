// test_binary_stream.cpp - POSIX only: a binary file read from a pipe is read exactly as from a regular file, in
// bounded memory; the checked dump under a file-size limit.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <thread>

#include "files/binary.h"
#include "support.h"

namespace {

using vrdtest::fileBytes;
using vrdtest::Report;
using vrdtest::writeFile;
using Bytes = std::vector<uint8_t>;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void putWords(Bytes &bytes, std::initializer_list<uint32_t> words) {
    for (uint32_t word : words) {
        const auto *p = reinterpret_cast<const uint8_t *>(&word);
        bytes.insert(bytes.end(), p, p + 4);
    }
}

// Feeds `bytes` into a FIFO from a thread of its own, as a producer process
// would, until the thread is joined as it leaves scope; a reader that stops
// early leaves the rest unwritten.
std::jthread feed(const std::string &fifo, const Bytes &bytes) {
    return std::jthread([fifo, &bytes] {
        int fd = open(fifo.c_str(), O_WRONLY);
        for (ssize_t put = 0, at = 0; fd >= 0 && size_t(at) < bytes.size(); at += put)
            if ((put = write(fd, bytes.data() + at, bytes.size() - size_t(at))) <= 0) break;
        if (fd >= 0) close(fd);
    });
}

// What a read did: its result, its reports and the store it left, dumped.
struct Outcome {
    int32_t result;
    std::vector<Report> reports;
    Bytes store;
    bool operator==(const Outcome &) const = default;
};

class StreamTest : public vrdtest::StoreTest {
protected:
    std::string file = vrdtest::scratchPath("stream.bin"), fifo = vrdtest::scratchPath("stream.fifo"),
                dump = vrdtest::scratchPath("stream.dump");
    void SetUp() override {
        StoreTest::SetUp();
        signal(SIGPIPE, SIG_IGN);  // a reader that stops early closes the pipe under the feeder
        std::remove(fifo.c_str());
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    }
    void TearDown() override {
        for (const std::string &p : {file, fifo, dump}) std::remove(p.c_str());
        StoreTest::TearDown();
    }
    // Reads into a fresh store holding one keyword, from a regular file or the FIFO.
    Outcome readVia(const Bytes &bytes, bool piped) {
        VRDkill(VRDget(nullptr), nullptr);
        uint32_t key;
        EXPECT_TRUE(VRDnew("target") != nullptr && VRDkeyCreate("KEEP", &key) == 0);
        takeReports();
        Outcome o;
        if (piped) {
            std::jthread feeder = feed(fifo, bytes);
            o.result = VRDfileReadBinary(fifo.c_str());
        } else {
            writeFile(file, bytes);
            o.result = VRDfileReadBinary(file.c_str());
        }
        o.reports = takeReports();
        EXPECT_EQ(VRDfileWriteBinary(dump.c_str()), 0);
        o.store = fileBytes(dump);
        return o;
    }
    void expectSameBothWays(const Bytes &bytes, const std::string &what) {
        Outcome viaFile = readVia(bytes, false), viaPipe = readVia(bytes, true);
        EXPECT_EQ(viaFile.result, viaPipe.result) << what;
        EXPECT_EQ(viaFile.reports, viaPipe.reports) << what;
        EXPECT_TRUE(viaFile.store == viaPipe.store) << what;
    }
};

// A dump of a store with forms, a slab with a free block, points, strings and numbers.
Bytes sampleDump(const std::string &path) {
    VRDentity root, e, held;
    vrdtest::expectOk({VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "ROOT", &root),
                       VRDformAddString(root, 0xFFFFFFFF, "text", &e), VRDformAddInt(root, 0xFFFFFFFF, 1 << 30, &e),
                       VRDformAddReal(0xFFFFFFFF, &e, root, 0.25), VRDformAddPoint(0xFFFFFFFF, &e, root, 3, 4),
                       VRDformAddPoint(0xFFFFFFFF, &e, root, 100000, 5),
                       VRDformAddForm(root, 0, VRD_NO_KEY, "HELD", &held), VRDformSetProperty(root, 1, 2),
                       VRDformAddId(held, 0xFFFFFFFF, "name", &e), VRDformAddInt(held, 0xFFFFFFFF, 9, &e)});
    EXPECT_EQ(VRDfileWriteBinary(path.c_str()), 0);
    return fileBytes(path);
}

// Counts that claim far more than arrives: each is refused as an early end,
// the same from a pipe as from a file, and a pipe costs memory only for
// what arrived (checked under an address-space limit where no sanitizer
// reserves its own).
TEST_F(StreamTest, HugeCountsAreEarlyEndsWhateverTheSource) {
    ASSERT_EQ(VRDfileWriteBinary(dump.c_str()), 0);  // the fixture's store is still empty
    const Bytes empty = fileBytes(dump);
    const Bytes issue = {6, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xF0, 0xFA, 0x02};  // 50,000,000 keys, nothing after
    std::vector<std::pair<Bytes, std::string>> hostile = {{issue, "50M keys"}};
    Bytes textOnly = {6, 0, 0, 0}, forms = {6, 0, 0, 0, 2, 0, 0, 0, 'A', 0};
    putWords(textOnly, {0x7FFFFFF0});  // keyword text of 2 GB
    hostile.push_back({textOnly, "2 GB of keyword text"});
    // One key with forms claiming 2^32-1 records and a 2^31-1 slot slab.
    putWords(forms, {1, 0, VRD_NO_KEY, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1, 0, 0x7FFFFFFF, 0xFFFFFFFF});
    for (uint32_t b = 0; b < 128; ++b) putWords(forms, {b == 'A' ? 0 : VRD_NO_KEY});
    hostile.push_back({forms, "4G forms"});
    // Later sections: the empty store's dump up to a count, the count, then nothing.
    const size_t pointsAt = 4 + 520, stringsAt = pointsAt + 2 * (4 + 2048) + 4, intsAt = stringsAt + 4 + 4096;
    for (auto [at, count, what] : {std::tuple{pointsAt, 30000u, "30,000 x coordinates"},
                                   {pointsAt + 2 * (4 + 2048), 0x3FFFFFEu, "64M table points"},
                                   {stringsAt, 0x7FFFFF0u, "128 MB of strings"},
                                   {intsAt, 0x7FFFFFFu, "128M big integers"},
                                   {intsAt + 4, 0x7FFFFFFu, "128M reals"}}) {
        Bytes bytes(empty.begin(), empty.begin() + static_cast<long>(at));
        putWords(bytes, {count});
        hostile.push_back({bytes, what});
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!kSanitized) {  // 256 MB more address space than the process has now
            unsigned long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20);
            struct rlimit limit = {bytes, bytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        int failures = 0;
        for (const auto &[bytes, what] : hostile) {
            Outcome viaFile = readVia(bytes, false), viaPipe = readVia(bytes, true);
            bool early = viaFile.result == 1 && viaFile.reports.size() == 1 && viaFile.reports[0].code == VRD_E_EOF;
            if (!early || !(viaFile == viaPipe)) {
                std::fprintf(stderr, "%s: file %d, pipe %d\n", what.c_str(), viaFile.result, viaPipe.result);
                ++failures;
            }
        }
        _exit(failures == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Every corpus file, a sound dump cut at every point of interest and damaged
// in each section: a pipe gives the same result, reports and store as a file.
TEST_F(StreamTest, EveryFileReadsTheSameFromAPipe) {
    DIR *dir = opendir(VRD_SOURCE_DIR "/fuzz/corpus/binary");
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> names;
    while (dirent *entry = readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
    ASSERT_FALSE(names.empty());
    for (const std::string &name : names) {
        Bytes bytes = fileBytes(VRD_SOURCE_DIR "/fuzz/corpus/binary/" + name);
        // The fuzz target's first byte picks check mode; the rest is the file.
        if (!bytes.empty()) bytes.erase(bytes.begin());
        expectSameBothWays(bytes, name);
    }
    const Bytes sample = sampleDump(dump);
    for (size_t cut = 0; cut < sample.size(); cut += cut < 1200 ? 7 : 331)
        expectSameBothWays(Bytes(sample.begin(), sample.begin() + static_cast<long>(cut)), "cut " + std::to_string(cut));
    for (size_t at = 4; at + 4 <= sample.size(); at += 97) {
        Bytes damaged = sample;
        damaged[at] ^= 0x41;
        damaged[at + 3] ^= 0x80;
        expectSameBothWays(damaged, "damaged at " + std::to_string(at));
    }
    expectSameBothWays(sample, "whole");
    EXPECT_EQ(readVia(sample, true).result, 0);
}

// The section readers called on a pipe, one after the other, each take their
// own section and nothing more: the store comes out as from the file.
TEST_F(StreamTest, SectionReadersLeaveAPipeAtTheirSectionsEnd) {
    const Bytes sample = sampleDump(dump);
    Outcome whole = readVia(sample, false);
    ASSERT_EQ(whole.result, 0);
    VRDkill(VRDget(nullptr), nullptr);
    ASSERT_NE(VRDnew("sections"), nullptr);
    {
        std::jthread feeder = feed(fifo, sample);
        int fd = open(fifo.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        uint32_t version = 0;
        ASSERT_EQ(read(fd, &version, 4), 4);
        EXPECT_EQ(version, 6u);
        vrdtest::expectOk({VRDkeyReadBinary(fd), VRDpointReadBinary(fd), VRDstringReadBinary(fd),
                           VRDintReadBinary(fd), VRDrealReadBinary(fd)});
        char after;
        EXPECT_EQ(read(fd, &after, 1), 0);  // the dump ended exactly there
        close(fd);
    }
    ASSERT_EQ(VRDfileWriteBinary(dump.c_str()), 0);
    EXPECT_TRUE(fileBytes(dump) == whole.store);
    EXPECT_TRUE(takeReports().empty());
}

// A file-size limit cuts the checked dump short: with SIGXFSZ ignored the
// write that crosses it fails with EFBIG, which the checked dump reports
// wherever it falls, up to the last section's last byte; the child tells the parent.
TEST_F(StreamTest, FileSizeLimitIsReportedInEverySectionOfTheCheckedDump) {
    const size_t size = sampleDump(dump).size();
    for (size_t limit : {size_t{100}, size / 2, size - 8, size - 1}) {
        std::remove(file.c_str());
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit cap = {limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
            vrdtest::reports().clear();
            errno = 0;
            int status = VRDfileWriteBinaryChecked(file.c_str());
            bool reported = vrdtest::reports() == std::vector<Report>{{"VRDfileWriteBinaryChecked", VRD_E_WRITE}};
            _exit(status == 1 && errno == EFBIG && reported ? 0 : 1);
        }
        int raw = 0;
        ASSERT_EQ(waitpid(child, &raw, 0), child);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << limit;
        EXPECT_EQ(fileBytes(file).size(), limit);  // what the limit let through
    }
}

}  // namespace
