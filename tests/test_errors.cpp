// test_errors.cpp - messages, the handler, the last error, check mode and entity equality.
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

class Errors : public StoreTest {};

void VRD_CALL otherHandler(const char *, int) {}

TEST(ErrorMessages, TableByAbsoluteValue) {
    EXPECT_STREQ(VRDerrorMessage(0), "No error");
    EXPECT_STREQ(VRDerrorMessage(-1), "Unknown error");
    EXPECT_STREQ(VRDerrorMessage(-2), "Can't allocate work space");
    EXPECT_STREQ(VRDerrorMessage(-9), "Bad form");
    EXPECT_STREQ(VRDerrorMessage(-12), "Incompatible binary file");
    EXPECT_STREQ(VRDerrorMessage(-24), "Too many strings");
    EXPECT_STREQ(VRDerrorMessage(24), "Too many strings");
    EXPECT_STREQ(VRDerrorMessage(5), VRDerrorMessage(-5));
    EXPECT_STREQ(VRDerrorMessage(-25), "Unknown error");
    EXPECT_STREQ(VRDerrorMessage(25), "Unknown error");
    EXPECT_STREQ(VRDerrorMessage(INT32_MIN), "Unknown error");
    EXPECT_STREQ(VRDversion(), "15.0.0.359");
    EXPECT_STREQ(VRDlibName(), "vrd.dll");
}

TEST(ErrorHandler, InstallReturnsThePreviousHandler) {
    VRDerrorHandler(nullptr);
    EXPECT_EQ(VRDerrorHandler(vrdtest::recordReport), nullptr);
    EXPECT_EQ(VRDerrorHandler(otherHandler), vrdtest::recordReport);
    EXPECT_EQ(VRDerrorHandler(nullptr), otherHandler);
}

TEST_F(Errors, ReportWithoutHandlerStillSetsTheLastError) {
    VRDerrorHandler(nullptr);
    EXPECT_EQ(VRDkeyGetPtrValue(3), nullptr);
    EXPECT_EQ(VRDlastError(), VRD_E_BADKEY);
    // A success does not reset the last error.
    uint32_t key;
    EXPECT_EQ(VRDkeyCreate("a", &key), 0);
    EXPECT_EQ(VRDlastError(), VRD_E_BADKEY);
    VRDerrorReport("caller", -7);
    EXPECT_EQ(VRDlastError(), -7);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Errors, CheckModeOnlyAddsTests) {
    // Check mode is on at start; 2 turns it on exactly as 1 does.
    EXPECT_EQ(VRDkeyGetPtrValue(0), nullptr);
    VRDsetCheck(0);
    EXPECT_EQ(VRDkeyGetPtrValue(0), nullptr);  // still never read past the table
    VRDsetCheck(2);
    EXPECT_EQ(VRDkeyGetPtrValue(0), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetPtrValue", VRD_E_BADKEY},
                                                 {"VRDkeyGetPtrValue", VRD_E_BADKEY}}));
}

TEST(Entities, NullAndEquality) {
    VRDentity null = VRDnullEntity();
    EXPECT_EQ(null.first, 0u);
    EXPECT_EQ(null.second, 0u);
    EXPECT_EQ(VRDentityEqual(VRDentity{0x80000002u, 9}, VRDentity{0x80000002u, 9}), 1);
    EXPECT_EQ(VRDentityEqual(VRDentity{0x80000002u, 9}, VRDentity{0x80000002u, 8}), 0);
    EXPECT_EQ(VRDentityEqual(VRDentity{0x20000000u, 0}, VRDentity{0x28000000u, 0}), 0);
}

}  // namespace
