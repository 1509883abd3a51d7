// cli_support.h - running the vrd command from the end-to-end suites.
#ifndef VRD_TESTS_CLI_SUPPORT_H
#define VRD_TESTS_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

#include <fcntl.h>
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

// How a run is wired: standard input from a file (else /dev/null), standard
// output to a file of the caller's (else captured), extra environment, and
// standard error on a terminal (a pseudo-terminal) instead of a file.
struct RunOptions {
    std::string input;
    std::string output;
    std::vector<std::pair<std::string, std::string>> env;
    bool errorTerminal = false;
};

inline RunOptions stdinFrom(const std::string &path) { return RunOptions{path, "", {}, false}; }
inline RunOptions stdoutTo(const std::string &path) { return RunOptions{"", path, {}, false}; }

// Runs the built tool with `args` as its argument words (no shell).  The one
// place a child process is started.
inline ToolRun vrdRun(const std::vector<std::string> &args, const RunOptions &options = {}) {
    std::string out = options.output.empty() ? scratch("stdout") : options.output;
    std::string err = scratch("stderr");
    int terminal = -1;
    std::string terminalName;
    if (options.errorTerminal) {
        terminal = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return ToolRun{-1, "", "no pty"};
        terminalName = ptsname(terminal);
    }
    std::vector<char *> argv{const_cast<char *>(VRD_CLI)};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int in = open(options.input.empty() ? "/dev/null" : options.input.c_str(), O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int e = open(options.errorTerminal ? terminalName.c_str() : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
        for (const auto &[name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        execv(VRD_CLI, argv.data());
        _exit(127);
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, options.output.empty() ? slurp(out) : "", ""};
    if (terminal >= 0) {
        char block[4096];
        for (ssize_t got; (got = read(terminal, block, sizeof block)) > 0;) run.err.append(block, static_cast<size_t>(got));
        close(terminal);
    } else {
        run.err = slurp(err);
    }
    return run;
}

// Runs the tool with `args` split at spaces (for arguments without spaces).
inline ToolRun vrd(const std::string &args, const RunOptions &options = {}) {
    std::vector<std::string> words;
    std::istringstream split(args);
    for (std::string w; split >> w;) words.push_back(w);
    return vrdRun(words, options);
}

inline int lineCount(const std::string &s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace vrdtest

#endif  // VRD_TESTS_CLI_SUPPORT_H
