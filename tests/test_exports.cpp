// test_exports.cpp - the shared library's dynamic symbol table holds exactly the routines vrd.h exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

// The routines the public header declares as exported (each line "VRD_API ... VRD_CALL name(").
std::set<std::string> declaredExports() {
    std::ifstream in(std::string(VRD_SOURCE_DIR) + "/include/vrd/vrd.h");
    std::stringstream text;
    text << in.rdbuf();
    std::set<std::string> names;
    std::string s = text.str();
    std::regex declaration(R"(\nVRD_API [^;]*?VRD_CALL\s+(\w+)\s*\()");
    for (std::sregex_iterator i(s.begin(), s.end(), declaration), end; i != end; ++i) names.insert((*i)[1]);
    return names;
}

// The defined dynamic symbols of a shared object, as nm lists them.
std::set<std::string> definedDynamicSymbols(const std::string &path) {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only '" + path + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) names.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST(Exports, ExactlyTheFortyThreeRoutinesOfThePublicHeader) {
    std::set<std::string> declared = declaredExports(), symbols = definedDynamicSymbols(VRD_SHARED_LIB);
    ASSERT_EQ(declared.size(), 43u);
    ASSERT_FALSE(symbols.empty()) << VRD_SHARED_LIB;
    for (const std::string &name : symbols) EXPECT_TRUE(declared.count(name)) << "stray export " << name;
    for (const std::string &name : declared) EXPECT_TRUE(symbols.count(name)) << "missing export " << name;
}

}  // namespace
