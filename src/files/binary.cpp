// binary.cpp - the version-6 binary file: the order of the areas' sections, staging, and the reports.
#include "files/binary.h"

#include <cerrno>

#include "forms/forms.h"

namespace {
using vrd::Status;

constexpr uint32_t kVersion = 6;

// Every section of the file, staged apart from the store until it is whole.
struct Stages {
    vrd::KeySectionStage keys;
    vrd::PointStage points;
    vrd::StringStage strings;
    vrd::IntStage ints;
    vrd::RealStage reals;
    ~Stages() {
        release(keys);
        release(points);
        release(strings);
        release(ints);
        release(reals);
    }
};

// The sections in file order.
enum Section { kKeys, kPoints, kStrings, kInts, kReals, kSectionCount };

constexpr const char *kReaderNames[kSectionCount] = {"VRDkeyReadBinary", "VRDpointReadBinary",
                                                      "VRDstringReadBinary", "VRDintReadBinary",
                                                      "VRDrealReadBinary"};

Status readSection(vrd::Source &src, Stages &st, int section) {
    switch (section) {
    case kKeys: return vrd::readKeySection(src, st.keys);
    case kPoints: return vrd::readPointSection(src, st.points);
    case kStrings: return vrd::readStringSection(src, st.strings);
    case kInts: return vrd::readIntSection(src, st.ints);
    default: return vrd::readRealSection(src, st.reals);
    }
}

void installSection(VRDstore *s, Stages &st, int section) {
    switch (section) {
    case kKeys: vrd::installKeys(s, st.keys); break;
    case kPoints: vrd::installPoints(s, st.points); break;
    case kStrings: vrd::installStrings(s, st.strings); break;
    case kInts: vrd::installInts(s, st.ints); break;
    default: vrd::installReals(s, st.reals); break;
    }
}

void emptySection(VRDstore *s, int section) {
    switch (section) {
    case kKeys: vrd::emptyKeys(s); break;
    case kPoints: vrd::releasePoints(s); break;
    case kStrings: vrd::releaseStrings(s); break;
    case kInts: vrd::emptyInts(s); break;
    default: vrd::emptyReals(s); break;
    }
}

// Reports a failed section: -12 belongs to the file routine, the end of the
// file and a lack of memory to the section's own reader.
void reportSection(Status status, int section) {
    if (status == Status::Bad)
        vrd::report("VRDfileReadBinary", VRD_E_INCOMPATIBLE);
    else
        vrd::report(kReaderNames[section], status == Status::Cut ? VRD_E_EOF : VRD_E_NOMEM);
}

// A section read on its own: replaces its pool when sound; a cut or a lack
// of memory leaves the pool empty, a malformed section leaves it untouched.
int32_t readOneSection(int fd, int section) {
    VRDstore *s = vrd::needStore(kReaderNames[section]);
    if (s == nullptr) return 1;
    vrd::Source src(fd);
    Stages st;
    Status status = readSection(src, st, section);
    if (status != Status::Ok) {
        if (status != Status::Bad) emptySection(s, section);
        reportSection(status, section);
        return 1;
    }
    installSection(s, st, section);
    return 0;
}

// Reads the five sections after the version word.  Nothing reaches the
// store until every section has been read and checked, so a malformed file
// leaves it untouched; a file that ends early (or a lack of memory) replaces
// the sections before the failing one, empties that one and keeps the rest.
// Forms may then name values the store does not hold, and so may a whole
// file (a dump of such a store): value entities are not checked against the
// pools, because every routine that follows one bounds its index by the
// pool's count, so it reads as absent and nothing outside a block is touched.
int32_t readSections(VRDstore *s, int fd) {
    vrd::Source src(fd);
    Stages st;
    for (int section = 0; section < kSectionCount; ++section) {
        Status status = readSection(src, st, section);
        if (status == Status::Ok) continue;
        reportSection(status, section);
        if (status == Status::Bad) return 1;
        for (int done = 0; done < section; ++done) installSection(s, st, done);
        emptySection(s, section);
        return 1;
    }
    for (int section = 0; section < kSectionCount; ++section) installSection(s, st, section);
    return 0;
}

// Closes the descriptor whatever the outcome.
struct Closer {
    int fd;
    ~Closer() { vrd::rawClose(fd); }
};

// A section writer: the current store's section, or 1 after -3 under its name.
template <void (*Write)(int, const VRDstore *)>
int32_t writeSection(int fd, const char *routine) {
    VRDstore *s = vrd::needStore(routine);
    if (s == nullptr) return 1;
    Write(fd, s);
    return 0;
}

// The version word and the five sections, in file order.
void writeDump(int fd) {
    vrd::putWord(fd, kVersion);
    VRDkeyWriteBinary(fd);
    VRDpointWriteBinary(fd);
    VRDstringWriteBinary(fd);
    VRDintWriteBinary(fd);
    VRDrealWriteBinary(fd);
}

}  // namespace

extern "C" {

int32_t VRD_CALL VRDkeyWriteBinary(int fd) { return writeSection<vrd::writeKeySection>(fd, "VRDkeyWriteBinary"); }
int32_t VRD_CALL VRDpointWriteBinary(int fd) {
    return writeSection<vrd::writePointSection>(fd, "VRDpointWriteBinary");
}
int32_t VRD_CALL VRDstringWriteBinary(int fd) {
    return writeSection<vrd::writeStringSection>(fd, "VRDstringWriteBinary");
}
int32_t VRD_CALL VRDintWriteBinary(int fd) { return writeSection<vrd::writeIntSection>(fd, "VRDintWriteBinary"); }
int32_t VRD_CALL VRDrealWriteBinary(int fd) { return writeSection<vrd::writeRealSection>(fd, "VRDrealWriteBinary"); }

int32_t VRD_CALL VRDfileWriteBinary(const char *path) {
    if (vrd::needStore("VRDfileWriteBinary") == nullptr) return 1;
    int fd = vrd::rawOpenWrite(path);
    if (fd < 0) {
        vrd::report("VRDfileWriteBinary", VRD_E_OPEN);
        return 1;
    }
    writeDump(fd);
    vrd::rawClose(fd);
    return 0;
}

// The same dump, with every write, the cut at its end and the close checked.
// errno is put back after each report, so the caller can give the system's
// reason even when the handler touched it.
int32_t VRD_CALL VRDfileWriteBinaryChecked(const char *path) {
    constexpr const char *kRoutine = "VRDfileWriteBinaryChecked";
    if (vrd::needStore(kRoutine) == nullptr) return 1;
    int fd = vrd::rawOpenWrite(path);
    if (fd < 0) {
        int error = errno;
        vrd::report(kRoutine, VRD_E_OPEN);
        errno = error;
        return 1;
    }
    vrd::rawWriteErrorClear();
    writeDump(fd);
    if (vrd::rawFinish(fd)) return 0;
    int error = vrd::rawWriteError().error;
    vrd::report(kRoutine, VRD_E_WRITE);
    errno = error;
    return 1;
}

int32_t VRD_CALL VRDkeyReadBinary(int fd) { return readOneSection(fd, kKeys); }
int32_t VRD_CALL VRDpointReadBinary(int fd) { return readOneSection(fd, kPoints); }
int32_t VRD_CALL VRDstringReadBinary(int fd) { return readOneSection(fd, kStrings); }
int32_t VRD_CALL VRDintReadBinary(int fd) { return readOneSection(fd, kInts); }
int32_t VRD_CALL VRDrealReadBinary(int fd) { return readOneSection(fd, kReals); }

int32_t VRD_CALL VRDfileReadBinary(const char *path) {
    VRDstore *s = vrd::needStore("VRDfileReadBinary");
    if (s == nullptr) return 1;
    int fd = vrd::rawOpenRead(path);
    if (fd < 0) {
        vrd::report("VRDfileReadBinary", VRD_E_OPEN);
        return 1;
    }
    Closer closer{fd};
    uint32_t version;
    if (!vrd::rawRead(fd, &version, sizeof version)) {
        vrd::report("VRDfileReadBinary", VRD_E_EOF);
        return 1;
    }
    if (version != kVersion) {
        vrd::report("VRDfileReadBinary", VRD_E_INCOMPATIBLE);
        return 1;
    }
    return readSections(s, fd);
}

}  // extern "C"
