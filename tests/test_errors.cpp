// test_errors.cpp - messages, the last error, check mode and entity equality.
#include "support.h"

namespace {
using vrdtest::Report;

class Errors : public vrdtest::StoreTest {};

// Messages are found by the code's absolute value; anything outside the table, INT32_MIN included
// (whose absolute value overflows an int), is "Unknown error".  (Installing a handler gives back
// the previous one: test_hpp checks that around its own handler swaps.)
TEST(ErrorMessages, ByAbsoluteValueAndUnknownOutside) {
    EXPECT_STREQ(VRDerrorMessage(-2), "Can't allocate work space");
    EXPECT_STREQ(VRDerrorMessage(24), VRDerrorMessage(-24));
    for (int code : {-1, -25, 25, INT32_MIN}) EXPECT_STREQ(VRDerrorMessage(code), "Unknown error") << code;
}

TEST_F(Errors, LastErrorWithoutAHandlerAndCheckModeOnlyAddingTests) {
    VRDerrorHandler(nullptr);
    EXPECT_TRUE(VRDkeyGetPtrValue(3) == nullptr && VRDlastError() == VRD_E_BADKEY);
    uint32_t key;
    EXPECT_TRUE(VRDkeyCreate("a", &key) == 0 && VRDlastError() == VRD_E_BADKEY);  // a success resets nothing
    VRDerrorReport("caller", -7);
    EXPECT_EQ(VRDlastError(), -7);
    VRDerrorHandler(vrdtest::recordReport);
    VRDsetCheck(0);  // unchecked, still never read past the table; 2 turns it on as 1 does
    EXPECT_EQ(VRDkeyGetPtrValue(1), nullptr);
    VRDsetCheck(2);
    EXPECT_EQ(VRDkeyGetPtrValue(1), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkeyGetPtrValue", VRD_E_BADKEY}}));
}

TEST(Entities, NullAndEquality) {
    EXPECT_TRUE(VRDnullEntity().first == 0 && VRDnullEntity().second == 0);
    VRDentity f{0x80000002u, 9}, other{0x80000002u, 8}, s{0x20000000u, 0}, id{0x28000000u, 0};
    EXPECT_TRUE(VRDentityEqual(f, f) == 1 && VRDentityEqual(f, other) == 0 && VRDentityEqual(s, id) == 0);
}

}  // namespace
