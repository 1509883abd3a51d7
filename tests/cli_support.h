// cli_support.h - running the vrd command from the end-to-end suites.
#ifndef VRD_TESTS_CLI_SUPPORT_H
#define VRD_TESTS_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vrdtest {

// What one run of the tool gave: its exit status and both output streams.
struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

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

#ifdef _WIN32
// One argument as the C runtime's parser reads it back from a command line:
// quoted when it holds a blank or a quote or is empty, backslashes doubled
// only where they precede a quote.
inline std::string quoteArgument(const std::string &word) {
    if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) return word;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

inline HANDLE openInherited(const std::string &path, bool writing) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), writing ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts the tool with its standard streams on the three files and the extra
// environment, and waits for it; its exit status, or -1 when it cannot start.
inline int runTool(const std::vector<std::string> &args, const std::string &in, const std::string &out,
                   const std::string &err, const std::vector<std::pair<std::string, std::string>> &env) {
    std::string line = quoteArgument(VRD_CLI);
    for (const std::string &a : args) line += " " + quoteArgument(a);
    // The child inherits this process's environment: the extra variables are
    // set around the start and put back after it.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const auto &[name, value] : env) {
        char old[32768];
        DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        saved.push_back({name, n > 0 && n < sizeof old ? std::optional<std::string>(std::string(old, n)) : std::nullopt});
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    HANDLE streams[3] = {openInherited(in.empty() ? "NUL" : in, false), openInherited(out, true), openInherited(err, true)};
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = streams[0];
    start.hStdOutput = streams[1];
    start.hStdError = streams[2];
    PROCESS_INFORMATION child{};
    bool started = streams[0] != INVALID_HANDLE_VALUE && streams[1] != INVALID_HANDLE_VALUE &&
                   streams[2] != INVALID_HANDLE_VALUE &&
                   CreateProcessA(VRD_CLI, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child);
    DWORD status = static_cast<DWORD>(-1);
    if (started) {
        WaitForSingleObject(child.hProcess, INFINITE);
        GetExitCodeProcess(child.hProcess, &status);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    for (HANDLE h : streams)
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    for (const auto &[name, value] : saved) SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    return started ? static_cast<int>(status) : -1;
}

// Runs the built tool with `args` as its argument words (no shell).  The one
// place a child process is started.  Windows has no pseudo-terminals: a run
// that asks for one fails.
inline ToolRun vrdRun(const std::vector<std::string> &args, const RunOptions &options = {}) {
    if (options.errorTerminal) return ToolRun{-1, "", "no pseudo-terminal on Windows"};
    std::string out = options.output.empty() ? scratch("stdout") : options.output;
    std::string err = scratch("stderr");
    int status = runTool(args, options.input, out, err, options.env);
    return ToolRun{status, options.output.empty() ? slurp(out) : "", slurp(err)};
}
#else
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
#endif

// Runs the tool with `args` split at spaces (for arguments without spaces).
inline ToolRun vrd(const std::string &args, const RunOptions &options = {}) {
    std::vector<std::string> words;
    std::istringstream split(args);
    for (std::string w; split >> w;) words.push_back(w);
    return vrdRun(words, options);
}

inline int lineCount(const std::string &s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

}  // namespace vrdtest

#endif  // VRD_TESTS_CLI_SUPPORT_H
