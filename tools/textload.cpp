// textload.cpp - reading texts and binary files for the vrd subcommands, with reports completed by the loss scan.
#include "textload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "args.h"
#include "progress.h"
#include "storewalk.h"
#include "textscan.h"

namespace vrdtool {

namespace {

// The reports met while reading, each with the place the reader had reached.
struct Recorder {
    TextChannel *channel = nullptr;
    std::vector<ReaderReport> reports;
};
Recorder recorder;

void VRD_CALL recordReport(const char *, int code) {
    ReaderReport r{code, 0, 0, VRDerrorMessage(code)};
    textChannelPosition(recorder.channel, &r.line, &r.column);
    recorder.reports.push_back(r);
}

// Each reader report takes the first unused detail of the same code met at
// the same place; details nobody claims are dropped (the reader decides
// what is an error, the scan only explains).
void completeReports(std::vector<ReaderReport> &reports, Findings &scan) {
    for (ReaderReport &r : reports) {
        for (Finding &f : scan) {
            if (f.kind != FindingKind::Detail || f.code != r.code || f.line != r.line || f.column != r.column) continue;
            r.message += ": " + f.message;
            f.code = 1;  // claimed; no reader code is positive
            break;
        }
    }
    Findings losses;
    for (Finding &f : scan)
        if (f.kind != FindingKind::Detail) losses.push_back(std::move(f));
    scan.swap(losses);
}

// The real the store holds for a value read: the first one the real table
// matches, as the reader's creation found it.
double storedReal(double value) {
    VRDentity e;
    VRDerrorHandlerProc previous = VRDerrorHandler(nullptr);
    double held = VRDrealCreate(value, &e) == 0 ? VRDrealGetValue(e) : value;
    VRDerrorHandler(previous);
    return held;
}

}  // namespace

LoadedText readText(const Input &input, int caseFlags, WriteMode mode, bool quiet, bool scan) {
    LoadedText loaded;
    TextChannel *channel = openTextString(input.text.data(), input.text.size());
    if (channel == nullptr) {
        loaded.built = false;
        return loaded;
    }
    recorder = Recorder{channel, {}};
    VRDerrorHandlerProc previous = VRDerrorHandler(recordReport);
    int32_t status;
    {
        Progress progress(channel, input.name, input.text.size(), quiet);
        status = VRDfileReadEntity(channel, VRDnullEntity(), -1, caseFlags, &loaded.root);
    }
    VRDerrorHandler(previous);
    closeTextFile(channel);
    loaded.built = status == 0;
    loaded.reports.swap(recorder.reports);
    if (scan || !loaded.reports.empty()) loaded.losses = scanText(input.text, mode, storedReal);
    completeReports(loaded.reports, loaded.losses);
    return loaded;
}

bool loadBinary(const Input &input) {
    recorder = Recorder{};
    VRDerrorHandlerProc previous = VRDerrorHandler(recordReport);
    errno = 0;
    int32_t status = VRDfileReadBinary(input.binaryPath.c_str());
    int error = errno;
    VRDerrorHandler(previous);
    if (status == 0) return true;
    int code = recorder.reports.empty() ? 0 : recorder.reports.front().code;
    if (code == VRD_E_OPEN)
        std::fprintf(stderr, "vrd: %s: cannot open: %s\n", input.name.c_str(), std::strerror(error));
    else
        std::fprintf(stderr, "vrd: %s: %s\n", input.name.c_str(), VRDerrorMessage(code));
    return false;
}

bool loadInput(const Input &input, int caseFlags, WriteMode mode, bool quiet, std::vector<VRDentity> &roots,
               Findings &losses, int *status, bool scan) {
    *status = kExitData;
    if (input.binary) {
        if (!loadBinary(input)) return false;
        forEachRoot([&](VRDentity root) { roots.push_back(root); });
        return true;
    }
    LoadedText loaded = readText(input, caseFlags, mode, quiet, scan);
    if (!loaded.reports.empty()) {
        const ReaderReport &r = loaded.reports.front();
        std::fprintf(stderr, "vrd: %s: %s (line %ld, column %ld)\n", input.name.c_str(), r.message.c_str(), r.line,
                     r.column);
        return false;
    }
    if (!loaded.built) {
        std::fprintf(stderr, "vrd: %s: the text could not be read into the store (out of memory?)\n", input.name.c_str());
        return false;
    }
    roots.push_back(loaded.root);
    losses = std::move(loaded.losses);
    return true;
}

Findings readLossesOf(const Findings &all) {
    Findings out;
    for (const Finding &f : all)
        if (f.kind == FindingKind::ReadLoss) out.push_back(f);
    return out;
}

bool writeTextTo(std::string &out, const std::vector<VRDentity> &roots, int caseFlags, bool indent, WriteMode mode) {
    TextChannel *buffer = openTextBuffer();
    if (buffer == nullptr) return false;
    for (VRDentity root : roots) {
        if (mode.exactReals)
            VRDfileWriteEntityExact(buffer, caseFlags, root, indent ? 1 : 0);
        else
            VRDfileWriteEntity(buffer, caseFlags, root, indent ? 1 : 0);
    }
    bool ok = printTextFileChar(buffer, '\n') != 0;
    size_t length = 0;
    const char *data = textBufferData(buffer, &length);
    if (ok) out.assign(data, length);
    return closeTextFile(buffer) == 0 && ok;
}

}  // namespace vrdtool
