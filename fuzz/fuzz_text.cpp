// fuzz_text.cpp - libFuzzer target: arbitrary bytes read as text notation, then written and dumped.
#include <cstdint>

#include "fuzz_common.h"

// The first byte picks the case flags and check mode; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    VRDsetCheck(data[0] >> 7);
    vrdfuzz::killAllStores();
    if (VRDnew("fuzz") == nullptr) std::abort();
    TextChannel *in = openTextString(reinterpret_cast<const char *>(data + 1), size - 1);
    if (in == nullptr) std::abort();
    VRDentity root;
    VRDfileReadEntity(in, VRDnullEntity(), -1, data[0] & 3, &root);
    closeTextFile(in);
    vrdfuzz::roundTrip();
    vrdfuzz::useStore();
    vrdfuzz::killAllStores();
    VRDsetCheck(1);
    return 0;
}
