// test_exports.cpp - the shared library's dynamic symbol table holds exactly the 43 routines.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

const std::set<std::string> kExported = {
    "VRDnew", "VRDerrorHandler", "VRDsetCheck",
    "VRDformCreate", "VRDformGetOwner", "VRDformSetOwner", "VRDformAddEntities",
    "VRDformDeleteEntities", "VRDformGetEntity", "VRDformSetEntity", "VRDformEntityCount",
    "VRDformGetPtrEntities", "VRDentityGetPosition", "VRDformAddForm", "VRDformAddInt",
    "VRDformAddString", "VRDformClear", "VRDformKill", "VRDformGetProperty", "VRDformSetProperty",
    "VRDformCopy", "VRDformGetPtrKeyword", "VRDformCmpKeys", "VRDformSetKey",
    "VRDintCreate", "VRDintGetValue", "VRDrealCreate", "VRDrealGetValue",
    "VRDpointCreate", "VRDpointGetValue", "VRDpointGetX", "VRDpointGetY",
    "VRDkeyCreate", "VRDkeyGetPtrValue", "VRDstringCreate", "VRDidCreate",
    "VRDstringGetValue", "VRDstringGetPtrValue", "VRDstrCmp",
    "VRDformFindFirst", "VRDformFindIn", "VRDformFindUnder", "VRDformFindOver",
};

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

TEST(Exports, ExactlyTheFortyThreeRoutines) {
    ASSERT_EQ(kExported.size(), 43u);
    std::set<std::string> symbols = definedDynamicSymbols(VRD_SHARED_LIB);
    ASSERT_FALSE(symbols.empty()) << VRD_SHARED_LIB;
    for (const std::string &name : symbols) EXPECT_TRUE(kExported.count(name)) << "stray export " << name;
    for (const std::string &name : kExported) EXPECT_TRUE(symbols.count(name)) << "missing export " << name;
}

}  // namespace
