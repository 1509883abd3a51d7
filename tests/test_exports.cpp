// test_exports.cpp - the symbols each library offers: the 43, the whole interface, no stray names.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The routines the public header declares as exported (each line "VRD_API ... VRD_CALL name(").
std::set<std::string> declaredExports() {
    std::set<std::string> names;
    std::string s = vrdtest::slurp(std::string(VRD_SOURCE_DIR) + "/include/vrd/vrd.h");
    std::regex declaration(R"(\nVRD_API [^;]*?VRD_CALL\s+(\w+)\s*\()");
    for (std::sregex_iterator i(s.begin(), s.end(), declaration), end; i != end; ++i) names.insert((*i)[1]);
    return names;
}

#ifdef _WIN32
// The names in a DLL's export table, read from the loaded image as the
// loader sees them, after checking that each of `wanted` resolves to an
// address there; a DLL that does not load exports nothing.
std::set<std::string> exportedNames(const std::string &path, const std::set<std::string> &wanted) {
    std::set<std::string> names;
    HMODULE dll = LoadLibraryA(path.c_str());
    if (dll == nullptr) return names;
    for (const std::string &name : wanted) EXPECT_NE(GetProcAddress(dll, name.c_str()), nullptr) << name;
    const auto *base = reinterpret_cast<const unsigned char *>(dll);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress != 0) {
        const auto *table = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
        const auto *rvas = reinterpret_cast<const DWORD *>(base + table->AddressOfNames);
        for (DWORD i = 0; i < table->NumberOfNames; ++i) names.insert(reinterpret_cast<const char *>(base + rvas[i]));
    }
    FreeLibrary(dll);
    return names;
}
#else
// The defined symbols nm lists with `options` (dynamic or global ones).
// `strongOnly` leaves out weak and unique symbols: the inline instantiations
// of the standard library an unoptimised build keeps (std::array's operator[]),
// which merge with a host's own copies instead of clashing.
std::set<std::string> definedSymbols(const std::string &options, const std::string &path, bool strongOnly = false) {
    std::set<std::string> names;
    std::string command = "nm " + options + " --defined-only '" + path + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) != 3) continue;
        if (!strongOnly || std::strchr("WVwvu", type[0]) == nullptr) names.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

// The shared library's dynamic symbols (`wanted` serves the Windows reading only).
std::set<std::string> exportedNames(const std::string &path, const std::set<std::string> &) {
    return definedSymbols("-D", path);
}
#endif

// The DLL's table holds the plain names (VRDnew, never VRDnew@4 or _VRDnew),
// so hosts find them by name whatever their compiler decorates.
TEST(Exports, ExactlyTheFortyThreeRoutinesOfThePublicHeader) {
    std::set<std::string> declared = declaredExports(), symbols = exportedNames(VRD_SHARED_LIB, declared);
    ASSERT_EQ(declared.size(), 43u);
    ASSERT_FALSE(symbols.empty()) << VRD_SHARED_LIB;
    for (const std::string &name : symbols) EXPECT_TRUE(declared.count(name)) << "stray export " << name;
    for (const std::string &name : declared) EXPECT_TRUE(symbols.count(name)) << "missing export " << name;
}

// Windows builds have no complete DLL to read, and no nm for the archive:
// the checks of both stay on the systems that have them.
#ifndef _WIN32
// The routines the four interface headers declare: each declaration starts a
// line and names its routine before the first parenthesis (continuation
// lines are indented, typedefs and preprocessor lines are not declarations).
std::set<std::string> declaredRoutines() {
    std::set<std::string> names;
    const std::regex declaration(R"(^[A-Za-z_][\w\s\*]*?\b(\w+)\s*\()");
    for (const char *header : {"vrd.h", "vrd_internal.h", "textchan.h", "heapwrap.h"}) {
        std::ifstream in(std::string(VRD_SOURCE_DIR) + "/include/vrd/" + header);
        EXPECT_TRUE(in) << header;
        std::string line;
        std::smatch match;
        while (std::getline(in, line))
            if (line.rfind("typedef", 0) != 0 && std::regex_search(line, match, declaration)) names.insert(match[1]);
    }
    return names;
}

// libvrd_full.so exports every declared routine and nothing else, so a host
// linking it finds the text, binary, store and message routines too.
TEST(Exports, FullLibraryExportsTheWholeInterface) {
    std::set<std::string> declared = declaredRoutines();
    // The 43, the internal operations, the channel calls and the memory layer.
    for (const char *name : {"VRDnew", "VRDkill", "stringHash", "naturalCmp", "printTextFile", "heapwrapCalls"})
        ASSERT_TRUE(declared.count(name)) << name;
    for (const std::string &name : declaredExports()) ASSERT_TRUE(declared.count(name)) << name;
    ASSERT_EQ(declared.size(), 43u + 44u + 10u + 10u);
    std::set<std::string> symbols = definedSymbols("-D", VRD_FULL_LIB);
    for (const std::string &name : symbols) EXPECT_TRUE(declared.count(name)) << "stray export " << name;
    for (const std::string &name : declared) EXPECT_TRUE(symbols.count(name)) << "missing export " << name;
}

// The static archive defines every declared routine; any other global name
// carries one of the library's prefixes ("VRD" for its own routines such as
// the binary sections' readers, "vrd_" for the short-named C helpers) or its
// namespace (C++, mangled "_ZN3vrd" or "_ZNK3vrd"), so it cannot clash with a
// host's names.
TEST(Exports, StaticArchiveShowsOnlyInterfaceOrPrefixedNames) {
    std::set<std::string> declared = declaredRoutines();
    std::set<std::string> symbols = definedSymbols("-g", VRD_STATIC_LIB, true);
    ASSERT_GT(symbols.size(), declared.size()) << VRD_STATIC_LIB;
    auto prefixed = [](std::string name) {
        // AddressSanitizer's ODR marker of a global carries the global's name.
        if (name.rfind("__odr_asan.", 0) == 0) name.erase(0, std::strlen("__odr_asan."));
        for (const char *prefix : {"VRD", "vrd_", "_ZN3vrd", "_ZNK3vrd"})
            if (name.rfind(prefix, 0) == 0) return true;
        return false;
    };
    for (const std::string &name : symbols)
        EXPECT_TRUE(declared.count(name) || prefixed(name)) << "unprefixed global " << name;
    for (const std::string &name : declared) EXPECT_TRUE(symbols.count(name)) << "missing routine " << name;
    EXPECT_TRUE(symbols.count("vrd_formptr")) << "the helpers keep their prefixed names";
}
#endif

}  // namespace
