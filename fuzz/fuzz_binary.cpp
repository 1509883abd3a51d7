// fuzz_binary.cpp - libFuzzer target: arbitrary bytes read as a binary file, then the store put to use.
#include <cstdint>

#include "fuzz_common.h"

// The first byte picks check mode; the rest is the file.  Whether the read
// succeeds or is refused, the store it leaves must be safe to write, grow,
// dump and read back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    VRDsetCheck(data[0] & 1);
    const std::string &path = vrdfuzz::scratchPath("input");
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    vrdfuzz::killAllStores();
    if (VRDnew("fuzz") == nullptr) std::abort();
    VRDfileReadBinary(path.c_str());
    vrdfuzz::roundTrip();
    vrdfuzz::useStore();
    vrdfuzz::killAllStores();
    VRDsetCheck(1);
    return 0;
}
