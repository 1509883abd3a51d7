// errors.cpp - error codes and messages, the error handler, the last error and check mode.
#include <cstdlib>

#include "frame/frame.h"

namespace {
VRDerrorHandlerProc errorHandler = nullptr;
int lastError = 0;

// Indexed by the code's absolute value.
constexpr const char *kMessages[25] = {
    "No error",
    "Unknown error",
    "Can't allocate work space",
    "Unknown data structure identifier",
    "No data in file",
    "Unexpected data before first form",
    "Bad point",
    "Bad string",
    "Unexpected data after last form",
    "Bad form",
    "Can't open file",
    "Unexpected end-of-file",
    "Incompatible binary file",
    "Too many forms",
    "Bad form position",
    "Too many entities in form",
    "Bad length",
    "Too many keywords",
    "Bad key",
    "Too many large integers",
    "Too many real values",
    "Bad integer",
    "Bad real",
    "Too many points",
    "Too many strings",
};
}  // namespace

namespace vrd {
int checkMode = 1;
bool usePlainPaths = false;
uint32_t reportCount = 0;

void report(const char *routine, int code) {
    ++reportCount;
    lastError = code;
    if (errorHandler != nullptr) errorHandler(routine, code);
}
}  // namespace vrd

extern "C" {

VRDerrorHandlerProc VRD_CALL VRDerrorHandler(VRDerrorHandlerProc handler) {
    VRDerrorHandlerProc previous = errorHandler;
    errorHandler = handler;
    return previous;
}

void VRD_CALL VRDsetCheck(int mode) { vrd::checkMode = mode != 0; }

void VRD_CALL VRDerrorReport(const char *routine, int code) { vrd::report(routine, code); }

const char *VRD_CALL VRDerrorMessage(int code) {
    // Widen before negating: the absolute value of INT_MIN does not fit an int.
    long long magnitude = code < 0 ? -static_cast<long long>(code) : code;
    return magnitude <= 24 ? kMessages[magnitude] : kMessages[1];
}

const char *VRD_CALL VRDversion(void) { return "15.0.0.359"; }

const char *VRD_CALL VRDlibName(void) { return "vrd.dll"; }

int VRD_CALL VRDlastError(void) { return lastError; }

}  // extern "C"
