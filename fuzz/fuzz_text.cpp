// fuzz_text.cpp - libFuzzer target: arbitrary bytes read as text notation in bulk and byte by byte, then written and dumped.
#include <cstdint>

#include "files/files.h"
#include "fuzz_common.h"

namespace {

// The reports of a reading, each with the channel's place when it was made.
TextChannel *watched = nullptr;
std::string reports;

void VRD_CALL recordReport(const char *routine, int code) {
    long line = 0, column = 0;
    textChannelPosition(watched, &line, &column);
    reports += std::string(routine) + " " + std::to_string(code) + " at " + std::to_string(line) + ":" +
               std::to_string(column) + "\n";
}

// Reads the text into a fresh store, in bulk or byte by byte; what a host
// can see of it: the result, the reports and their places, every form.
std::string readingOf(const uint8_t *data, size_t size, bool plain) {
    vrdfuzz::killAllStores();
    if (VRDnew("fuzz") == nullptr) std::abort();
    TextChannel *in = openTextString(reinterpret_cast<const char *>(data + 1), size - 1);
    if (in == nullptr) std::abort();
    watched = in;
    reports.clear();
    VRDerrorHandlerProc previous = VRDerrorHandler(recordReport);
    vrd::setReaderPlain(plain);
    VRDentity root;
    int32_t status = VRDfileReadEntity(in, VRDnullEntity(), -1, data[0] & 3, &root);
    vrd::setReaderPlain(false);
    VRDerrorHandler(previous);
    closeTextFile(in);
    watched = nullptr;
    return std::to_string(status) + " " + std::to_string(root.first) + " " + std::to_string(root.second) + "\n" +
           reports + vrdfuzz::writeAllForms();
}

}  // namespace

// The first byte picks the case flags and check mode; the rest is the text.
// The bulk reading must match the byte-by-byte one; its store then goes on.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    VRDsetCheck(data[0] >> 7);
    std::string plain = readingOf(data, size, true);
    if (readingOf(data, size, false) != plain) std::abort();
    vrdfuzz::roundTrip();
    vrdfuzz::useStore();
    vrdfuzz::killAllStores();
    VRDsetCheck(1);
    return 0;
}
