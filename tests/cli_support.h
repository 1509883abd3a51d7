// cli_support.h - running the vrd command from the end-to-end suites.
#ifndef VRD_TESTS_CLI_SUPPORT_H
#define VRD_TESTS_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support.h"

#include <sys/wait.h>
#include <unistd.h>

namespace vrdtest {

// What one run of the tool gave: its exit status and both output streams.
struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string scratch(const std::string &name) { return scratchPath("cli_" + name); }

inline std::string tempFile(const std::string &name, const std::string &contents) {
    std::string path = scratch(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

// Runs the built tool with `args` (shell words).
inline ToolRun vrd(const std::string &args) {
    std::string out = scratch("stdout");
    std::string err = scratch("stderr");
    std::string command = std::string(VRD_CLI) + " " + args + " >" + out + " 2>" + err;
    int raw = std::system(command.c_str());
    int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return ToolRun{status, slurp(out), slurp(err)};
}

inline int lineCount(const std::string &s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace vrdtest

#endif  // VRD_TESTS_CLI_SUPPORT_H
