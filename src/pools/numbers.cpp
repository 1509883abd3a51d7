// numbers.cpp - integers (inline or in the bigint table) and reals (in the real table).
#include <cfloat>
#include <cmath>
#include <cstring>

#include "pools/numindex.h"

namespace {
constexpr int32_t kSmallLimit = 0x8000000;     // magnitudes below 2^27 stay inline
constexpr int32_t kTableLimit = vrd::kPayloadMask;  // indexes must fit 27 bits
constexpr int32_t kBigintStep = 125;           // 500 bytes
constexpr int32_t kRealStep = 62;              // 496 bytes
constexpr int32_t kNotAnInteger = 0x7FFFFFFF;

// The growth rule of both tables: a fixed step (125 integers, 62 reals),
// never past kTableLimit entries, so every index fits the entity's 27-bit
// payload.
int32_t nextCapacity(int32_t capacity, int32_t step) {
    return capacity > kTableLimit - step ? kTableLimit : capacity + step;
}

}  // namespace

namespace vrd {

void releaseNumbers(VRDstore *s) {
    NumberArea &n = numbers(s);
    freeMem(n.realValues);
    freeMem(n.bigintValues);
    dropNumberIndexes(n);
    n = NumberArea{};
}

bool bigintAt(const VRDstore *s, uint32_t index, int32_t *value) {
    const NumberArea &n = numbers(s);
    if (index >= static_cast<uint32_t>(n.bigintCount)) return false;
    *value = n.bigintValues[index];
    return true;
}

bool realAt(const VRDstore *s, uint32_t index, double *value) {
    const NumberArea &n = numbers(s);
    if (index >= static_cast<uint32_t>(n.realCount)) return false;
    *value = n.realValues[index];
    return true;
}

NumberFigures numberFigures(const VRDstore *s) {
    const NumberArea &n = numbers(s);
    return NumberFigures{n.bigintCount, n.bigintCapacity, n.realCount, n.realCapacity};
}

}  // namespace vrd

extern "C" {

int32_t VRD_CALL VRDintCreate(int32_t value, VRDentity *result) {
    VRDstore *store = vrd::needStore("VRDintCreate");
    if (store == nullptr) return 1;
    vrd::NumberArea &s = vrd::numbers(store);
    if (value > -kSmallLimit && value < kSmallLimit) {
        *result = value >= 0 ? vrd::makeEntity(vrd::kTagSmallPos | static_cast<uint32_t>(value), 0)
                             : vrd::makeEntity(vrd::kTagSmallNeg | static_cast<uint32_t>(-value), 0);
        return 0;
    }
    int32_t found = vrd::findBigint(s, value);
    if (found >= 0) {
        *result = vrd::makeEntity(vrd::kTagBigint | static_cast<uint32_t>(found), 0);
        return 0;
    }
    if (s.bigintCount == s.bigintCapacity) {
        if (s.bigintCapacity >= kTableLimit) {
            vrd::report("VRDintCreate", VRD_E_TOOMANYBIGINTS);
            return VRD_E_TOOMANYBIGINTS;
        }
        int32_t capacity = nextCapacity(s.bigintCapacity, kBigintStep);
        if (!vrd::growBlock(s.bigintValues, static_cast<size_t>(capacity) * sizeof(int32_t))) {
            vrd::report("VRDintCreate", VRD_E_NOMEM);
            return 1;
        }
        s.bigintCapacity = capacity;
    }
    int32_t index = s.bigintCount++;
    s.bigintValues[index] = value;
    vrd::noteBigint(s, index);
    *result = vrd::makeEntity(vrd::kTagBigint | static_cast<uint32_t>(index), 0);
    return 0;
}

int32_t VRD_CALL VRDintGetValue(VRDentity e) {
    VRDstore *store = vrd::needStore("VRDintGetValue");
    if (store == nullptr) return kNotAnInteger;
    if ((e.first & vrd::kFormOrPointBits) != 0) return kNotAnInteger;
    const vrd::NumberArea &s = vrd::numbers(store);
    uint32_t payload = vrd::payloadOf(e);
    switch (vrd::tagOf(e)) {
    case vrd::kTagSmallPos:
        return static_cast<int32_t>(payload);
    case vrd::kTagSmallNeg:
        return -static_cast<int32_t>(payload);
    case vrd::kTagBigint:
        if (vrd::checkMode && payload >= static_cast<uint32_t>(s.bigintCount)) {
            vrd::report("VRDintGetValue", VRD_E_BADINT);
            return kNotAnInteger;
        }
        // Unchecked, an index past the table still must not read outside it.
        return payload < static_cast<uint32_t>(s.bigintCount) ? s.bigintValues[payload] : kNotAnInteger;
    default:
        return kNotAnInteger;
    }
}

int32_t VRD_CALL VRDrealCreate(double value, VRDentity *result) {
    VRDstore *store = vrd::needStore("VRDrealCreate");
    if (store == nullptr) return 1;
    vrd::NumberArea &s = vrd::numbers(store);
    // Absolute tolerance: NaN and infinities never match (their difference is NaN).
    int32_t found = vrd::findReal(s, value);
    if (found >= 0) {
        *result = vrd::makeEntity(vrd::kTagReal | static_cast<uint32_t>(found), 0);
        return 0;
    }
    if (s.realCount == s.realCapacity) {
        if (s.realCapacity >= kTableLimit) {
            vrd::report("VRDrealCreate", VRD_E_TOOMANYREALS);
            return VRD_E_TOOMANYREALS;
        }
        int32_t capacity = nextCapacity(s.realCapacity, kRealStep);
        if (!vrd::growBlock(s.realValues, static_cast<size_t>(capacity) * sizeof(double))) {
            vrd::report("VRDreadAdd", VRD_E_NOMEM);  // the growth's own historic name
            return 1;
        }
        s.realCapacity = capacity;
    }
    int32_t index = s.realCount++;
    s.realValues[index] = value;
    vrd::noteReal(s, index);
    *result = vrd::makeEntity(vrd::kTagReal | static_cast<uint32_t>(index), 0);
    return 0;
}

double VRD_CALL VRDrealGetValue(VRDentity e) {
    VRDstore *store = vrd::needStore("VRDrealGetValue");
    if (store == nullptr) return DBL_MAX;
    const vrd::NumberArea &s = vrd::numbers(store);
    uint32_t index = vrd::payloadOf(e);
    if (index >= static_cast<uint32_t>(s.realCount)) {
        if (vrd::checkMode) vrd::report("VRDrealGetValue", VRD_E_BADREAL);
        return DBL_MAX;  // unchecked, still never read outside the table
    }
    return s.realValues[index];
}

}  // extern "C"
