// test_cli_args.cpp - conventions every subcommand shares: options, operands, exit statuses, help, version, progress.
#include "cli_support.h"

#include <string>

namespace {

using namespace vrdtest;

const char *const kCommands[] = {"check", "fmt", "find", "pack", "unpack", "stats", "to-json", "from-json"};
const std::string kVersion = std::string("vrd ") + VRD_PROJECT_VERSION + " (library version text 15.0.0.359)\n";

TEST(CliArgs, EveryCommandHasTheSameHelpVersionAndCommonOptions) {
    EXPECT_EQ(vrd("--version").out, kVersion);
    ToolRun top = vrd("--help");
    EXPECT_EQ(top.status, 0);
    std::string manual = slurp(std::string(VRD_SOURCE_DIR) + "/man/vrd.1");
    std::string readme = slurp(std::string(VRD_SOURCE_DIR) + "/README.md");
    for (const std::string command : kCommands) {
        ToolRun r = vrd(command + " --help");
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind("usage: vrd " + command + " [OPTIONS] ", 0), 0u) << command;
        for (const char *piece : {"-o, --output FILE", "-q, --quiet", "-h, --help", "--version",
                                  "Exit status: 0 success, 1 the data has problems (or no match), 2 usage or I/O error.\n"})
            EXPECT_NE(r.out.find(piece), std::string::npos) << command << ": " << piece;
        EXPECT_EQ(vrd(command + " --version").out, kVersion);
        EXPECT_NE(top.out.find("  " + command + " "), std::string::npos) << command;
        // The manual page and the README describe every command.
        std::string roff = command;  // roff writes a hyphen as "\-"
        if (size_t dash = roff.find('-'); dash != std::string::npos) roff.replace(dash, 1, "\\-");
        EXPECT_NE(manual.find("vrd " + roff), std::string::npos) << command;
        EXPECT_NE(readme.find("vrd " + command), std::string::npos) << command;
    }
}

// Usage errors exit 2 with one line naming the problem and the way to help.
TEST(CliArgs, UsageErrorsAreRefusedAlikeEverywhere) {
    std::string in = tempFile("args.vrd", "(A 1)");
    for (const std::string command : kCommands) {
        const std::pair<std::string, std::string> cases[] = {
            {in + " --bogus", "unknown option '--bogus'"},
            {in + " -o", "option '-o' needs a value (FILE)"},
            {in + " --output", "option '--output' needs a value (FILE)"},
            {in + " -o a -o b", "option '-o' given twice"},
            {in + " --output=a -o b", "option '-o' given twice"},
            {in + " -q=1", "option '-q' takes no value"},
            {in + " --quiet=1", "option '--quiet' takes no value"},
            {"", command == "find" ? "missing FILE KEYWORD [VALUE...]" : "missing " + std::string(command == "pack" || command == "unpack" ? "IN" : "FILE")},
        };
        for (const auto &[args, message] : cases) {
            ToolRun r = vrd(command + " " + args);
            EXPECT_EQ(r.status, 2) << command << " " << args;
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "vrd " + command + ": " + message + " (try 'vrd " + command + " --help')\n") << args;
        }
        if (command != "find") {
            ToolRun r = vrd(command + " " + in + " " + in);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, "vrd " + command + ": unexpected operand '" + in + "' (try 'vrd " + command + " --help')\n");
        }
        // An input that cannot be opened is an I/O error, with the system's reason.
        std::string missing = scratch("missing.vrd");
        ToolRun r = vrd(command + " " + missing + (command == "find" ? " A" : ""));
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_EQ(r.err, "vrd: " + missing + ": cannot open: No such file or directory\n") << command;
    }
    EXPECT_EQ(vrd("bogus").status, 2);
    EXPECT_EQ(vrd("").status, 2);
    // Options may follow the operands; "--" ends them; "-" is an operand.
    EXPECT_EQ(vrd("fmt " + in + " -o -").out, "\n(A 1)\n");
    EXPECT_EQ(vrd("fmt -- -", stdinFrom(in)).out, "\n(A 1)\n");
}

// A progress line only for a person at a terminal, and only for a large input.
TEST(CliArgs, ProgressIsShownOnlyOnATerminal) {
    std::string text = "(A";
    while (text.size() < 3000000) text += " 12345 67890 abcdef";
    std::string in = tempFile("large.vrd", text + ")");
    RunOptions options{"", "", {{"VRD_PROGRESS_BYTES", "1000"}}, false};
    ToolRun r = vrd("stats " + in, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
#ifdef _WIN32
    GTEST_SKIP() << "the terminal half needs a pseudo-terminal, which Windows lacks";
#endif
    options.errorTerminal = true;
    r = vrd("stats " + in, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\rvrd: reading " + in + "   0% (0 of 3 MB)\rvrd: reading " + in + "  34% (1 of 3 MB)"),
              std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - 4), "\r\033[K");  // the line is cleared at the end
    EXPECT_EQ(vrd("stats -q " + in, options).err, "");
    options.env.clear();  // the default threshold is far above this file
    EXPECT_EQ(vrd("stats " + in, options).err, "");
}

}  // namespace
