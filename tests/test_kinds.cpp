// test_kinds.cpp - entity.h's inline decoding agrees with the entities the pools make.
#include <climits>

#include "support.h"

namespace vrdtest {
namespace {

using Kinds = StoreTest;

// Every kind the library makes, with the value each helper must read from it.
TEST_F(Kinds, HelpersReadWhatThePoolsMade) {
    struct Made { VRDentity e; VRDkind kind; int32_t small; };  // small: what VRDentityGetSmallInt reads
    VRDentity e[9], form, part;
    expectOk({VRDintCreate(134217727, &e[0]), VRDintCreate(-134217727, &e[1]), VRDintCreate(0, &e[2]),
              VRDintCreate(134217728, &e[3]), VRDintCreate(INT_MIN, &e[4]), VRDstringCreate("s", &e[5]),
              VRDidCreate("s", &e[6]), VRDrealCreate(0.5, &e[7]), VRDpointCreate(-3, 1 << 20, &e[8]),
              VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "K", &form),
              VRDformAddForm(form, (uint32_t)-1, VRD_NO_KEY, "PART", &part)});
    const Made made[] = {
        {e[0], VRD_KIND_SMALLINT, 134217727}, {e[1], VRD_KIND_SMALLINT, -134217727},
        {e[2], VRD_KIND_SMALLINT, 0},         {e[3], VRD_KIND_BIGINT, VRD_NO_INT},
        {e[4], VRD_KIND_BIGINT, VRD_NO_INT},  {e[5], VRD_KIND_STRING, VRD_NO_INT},
        {e[6], VRD_KIND_ID, VRD_NO_INT},      {e[7], VRD_KIND_REAL, VRD_NO_INT},
        {e[8], VRD_KIND_POINT, VRD_NO_INT},   {form, VRD_KIND_FORM, VRD_NO_INT},
        {part, VRD_KIND_FORM, VRD_NO_INT},    {VRDnullEntity(), VRD_KIND_NONE, VRD_NO_INT},
        {entity(0x38000000u), VRD_KIND_NONE, VRD_NO_INT},  // tag 7: never made, carries no value
    };
    for (const Made &m : made) {
        SCOPED_TRACE(::testing::Message() << std::hex << m.e.first << ":" << m.e.second);
        EXPECT_EQ(VRDentityGetKind(m.e), m.kind);
        EXPECT_EQ(VRDentityGetSmallInt(m.e), m.small);
        EXPECT_TRUE(m.small == VRD_NO_INT || m.small == VRDintGetValue(m.e));
        EXPECT_EQ(VRDentityIsForm(m.e), m.kind == VRD_KIND_FORM);
        EXPECT_EQ(VRDentityIsPoint(m.e), m.kind == VRD_KIND_POINT);
        EXPECT_EQ(VRDentityHasValue(m.e), m.e.first >= 0x08000000u);  // tag 7 has a tag, not a value
        EXPECT_EQ(VRDformGetKey(m.e), m.kind == VRD_KIND_FORM ? m.e.first & 0x7FFFFFFFu : VRD_NO_KEY);
    }
    // The key read from the words is the key the keyword table gave.
    uint32_t key = 0;
    EXPECT_TRUE(VRDkeyCreate("PART", &key) == 0 && VRDformGetKey(part) == key && VRDformGetKey(form) != key);
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
}  // namespace vrdtest
