// support.h - shared fixtures for the suites: a fresh store, a recording error handler.
#ifndef VRD_TESTS_SUPPORT_H
#define VRD_TESTS_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "vrd/heapwrap.h"
#include "vrd/vrd_internal.h"

namespace vrdtest {

// One report as the error handler saw it.
struct Report {
    std::string routine;
    int code;
    bool operator==(const Report &o) const { return routine == o.routine && code == o.code; }
};

inline std::vector<Report> &reports() {
    static std::vector<Report> all;
    return all;
}

inline void VRD_CALL recordReport(const char *routine, int code) { reports().push_back({routine, code}); }

inline std::ostream &operator<<(std::ostream &os, const Report &r) { return os << r.routine << ":" << r.code; }

// What the handler sees when each of `routines` runs, in turn, with no current store.
inline std::vector<Report> noStoreReports(std::initializer_list<const char *> routines) {
    std::vector<Report> seen;
    for (const char *routine : routines) seen.push_back({routine, VRD_E_NOSTORE});
    return seen;
}

// Every test starts with no store but one fresh current store, check mode on,
// the recording handler installed and no reports seen; it leaves no store behind.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        VRDsetCheck(1);
        heapwrapFailNth(0);
        VRDerrorHandler(recordReport);
        store = VRDnew("test");
        ASSERT_NE(store, nullptr);
        reports().clear();
    }
    void TearDown() override {
        heapwrapFailNth(0);
        VRDsetCheck(1);
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        VRDerrorHandler(nullptr);
    }
    // The reports seen since the last call, then forgets them.
    std::vector<Report> takeReports() {
        std::vector<Report> seen;
        seen.swap(reports());
        return seen;
    }
    VRDstore *store = nullptr;
};

// A device on which every write fails for want of space: /dev/full on POSIX
// systems; Windows has none, and the checks that need one skip there.
inline const char *fullDevice() {
#ifdef _WIN32
    return nullptr;
#else
    return "/dev/full";
#endif
}

// A file name of its own under the test directory: suites run as parallel
// processes, so every scratch file carries the process id.
inline std::string scratchPath(const std::string &name) {
    return ::testing::TempDir() + "vrd_" + std::to_string(getpid()) + "_" + name;
}

// A small seeded generator: the same seed gives the same run on every system.
struct Rng {
    uint64_t state;
    uint32_t next() { return static_cast<uint32_t>((state = state * 6364136223846793005ull + 1442695040888963407ull) >> 33); }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }
    bool chance(uint32_t percent) { return below(100) < percent; }
};

// Where two long transcripts part, with a little of each, instead of a diff of megabytes.
inline std::string firstDifference(const std::string &a, const std::string &b) {
    if (a == b) return "";
    size_t at = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
    size_t from = at < 80 ? 0 : at - 80;
    return "byte " + std::to_string(at) + ":\n" + a.substr(from, 160) + "\n---\n" + b.substr(from, 160);
}

// The whole contents of a file ("" when it cannot be read).
inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The whole contents of a file as bytes (none when it cannot be read).
inline std::vector<uint8_t> fileBytes(const std::string &path) {
    std::string s = slurp(path);
    return {s.begin(), s.end()};
}

// Makes `bytes` the whole contents of the file at `path`.
inline void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline VRDentity entity(uint32_t first, uint32_t second = 0) { return VRDentity{first, second}; }

// Every call of a setup sequence returned 0; a braced list runs them in order.
inline void expectOk(std::initializer_list<int32_t> results) {
    for (int32_t r : results) EXPECT_EQ(r, 0);
}

// What VRDstatistics prints for the current store.
inline std::string statisticsReport() {
    testing::internal::CaptureStdout();
    VRDstatistics();
    return testing::internal::GetCapturedStdout();
}

// A StoreTest with helpers that build trees the way a host does.
class TreeTest : public StoreTest {
protected:
    static constexpr uint32_t kEnd = 0xFFFFFFFFu;  // append
    uint32_t key(const char *keyword) {
        uint32_t k = 0;
        EXPECT_EQ(VRDkeyCreate(keyword, &k), 0);
        return k;
    }
    // A form owned by `owner` but not listed in it.
    VRDentity form(const char *keyword, VRDentity owner = VRDentity{0, 0}) {
        VRDentity f{};
        EXPECT_EQ(VRDformCreate(owner, VRD_NO_KEY, keyword, &f), 0);
        return f;
    }
    // A form listed in (and owned by) `owner`, as the reader makes them.
    VRDentity child(VRDentity owner, const char *keyword) {
        VRDentity f{};
        EXPECT_EQ(VRDformAddForm(owner, kEnd, VRD_NO_KEY, keyword, &f), 0);
        return f;
    }
    VRDentity integer(int32_t v) {
        VRDentity e{};
        EXPECT_EQ(VRDintCreate(v, &e), 0);
        return e;
    }
    void add(VRDentity f, std::initializer_list<VRDentity> entities) {
        std::vector<VRDentity> list(entities);
        ASSERT_EQ(VRDformAddEntities(f, kEnd, static_cast<uint32_t>(list.size()), list.data()), 0);
    }
    std::vector<VRDentity> list(VRDentity f) {
        std::vector<VRDentity> out(VRDformEntityCount(f));
        EXPECT_TRUE(out.empty() || VRDformGetEntities(0, static_cast<uint32_t>(out.size()), f, out.data()) == out.size());
        return out;
    }
};

}  // namespace vrdtest

// Entities compare and print in assertions by their two words.
inline bool operator==(VRDentity a, VRDentity b) { return a.first == b.first && a.second == b.second; }
inline std::ostream &operator<<(std::ostream &os, VRDentity e) {
    char text[32];
    std::snprintf(text, sizeof text, "(0x%08X, %u)", e.first, e.second);
    return os << text;
}

#endif  // VRD_TESTS_SUPPORT_H
