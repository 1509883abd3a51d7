// support.h - shared fixtures for the suites: a fresh store, a recording error handler.
#ifndef VRD_TESTS_SUPPORT_H
#define VRD_TESTS_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

inline VRDentity entity(uint32_t first, uint32_t second = 0) { return VRDentity{first, second}; }

}  // namespace vrdtest

// Entities compare and print in assertions by their two words.
inline bool operator==(VRDentity a, VRDentity b) { return a.first == b.first && a.second == b.second; }
inline std::ostream &operator<<(std::ostream &os, VRDentity e) {
    char text[32];
    std::snprintf(text, sizeof text, "(0x%08X, %u)", e.first, e.second);
    return os << text;
}

#endif  // VRD_TESTS_SUPPORT_H
