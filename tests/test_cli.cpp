// test_cli.cpp - the vrd command run end to end: conventions every subcommand shares (options, operands, exit
// statuses, help, version, progress); `vrd fmt` and `vrd check` (layout, reader limits named, losses found with
// their places); `vrd find`; `vrd to-json` and `vrd from-json` (the mapping, exact round trips, refusals with
// their paths); `vrd pack`, `vrd unpack` and `vrd stats` (files, pipes, full disks, old tails).
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "cli_support.h"
#include "text_support.h"

namespace {

using namespace vrdtest;
using Cli = TreeTest;  // for the checks that build or read a store beside the tool

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

TEST(CliText, FmtWritesTheWritersLayoutWithItsOptions) {
    std::string in = tempFile("small.vrd", "(A 1\n\n   \"x\" (b 2) (PT 3 4) y.z -0.50)"), out = scratch("out.vrd");
    const std::string lower = "\n(a 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n";
    for (const auto &[args, expected] : {std::pair<std::string, std::string>{in, "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5)\n"},
                                        {"--upper --no-indent " + in, "\n(A 1 \"x\"\n(B 2) (PT 3 4) Y.Z -0.5)\n"},
                                        {in + " --lower", lower},
                                        {"- --lower", lower}}) {
        ToolRun r = vrd("fmt " + args, stdinFrom(in));
        EXPECT_TRUE(r.status == 0 && r.err.empty()) << args << ": " << r.err;
        EXPECT_EQ(r.out, expected) << args;
    }
    ToolRun r = vrd("fmt --lower " + in + " -o " + out);
    EXPECT_TRUE(r.status == 0 && r.out.empty());
    EXPECT_EQ(slurp(out), lower);
}

// The issue's sample: every value that would not come back is named with its
// place; fmt writes nothing and exits 1 unless the loss is accepted, and
// --exact-reals keeps the reals.
TEST(CliText, LossesAreFoundWithTheirPlacesAndStopTheWrite) {
    std::string in = tempFile("lossy.vrd", "(A (B 1234567.89) (C 5.0) (D 0.0000001) (E 99999999999)\n"
                                           " (F \xC3\xB1" "and\xC3\xBA \xC3\xA9) (G 1.5x -0.0 0.0))");
    const std::string f = in + ":";
    const std::string readLosses[] = {
        f + "1:44: warning: integer 99999999999 is beyond 32 bits and reads as 1215752191\n",
        f + "2:5: warning: '\xC3\xB1" "and\xC3\xBA' reads as 'and\xC3\xBA': bytes outside 0x21-0x7E cannot begin a value\n" +
            f + "2:13: warning: '\xC3\xA9': bytes outside 0x21-0x7E cannot begin a value and are skipped\n" + f +
            "2:20: warning: '1.5x' reads as the real 1.5: the rest is dropped\n",
        f + "2:30: warning: real 0.0 reads as -0.0: the store keeps reals closer than 2^-52 as one\n"};
    const std::string negativeZero = "warning: real -0.0 is written as -0 and reads back as an integer (--exact-reals keeps it)\n";
    ToolRun r = vrd("check " + in);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              f + "1:7: warning: real 1234567.89 is written as 1.23457e+06 and reads back as 1.23457e+06 (--exact-reals keeps it)\n" +
                  f + "1:22: warning: real 5.0 is written as 5 and reads back as an integer (--exact-reals keeps it)\n" + f +
                  "1:30: warning: real 1.0e-07 is written as 1e-07 and reads back as an identifier (--exact-reals keeps it)\n" +
                  readLosses[0] + readLosses[1] + f + "2:25: " + negativeZero + readLosses[2] + f + "2:30: " + negativeZero);
    r = vrd("check --exact-reals " + in);
    EXPECT_EQ(r.out, readLosses[0] + readLosses[1] + readLosses[2]);
    r = vrd("fmt " + in);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("vrd: " + f + "1:7: warning: real 1234567.89"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("vrd fmt: 10 values would not come back from the output; nothing written"), std::string::npos);
    r = vrd("fmt -q --exact-reals --allow-loss " + in);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\n(A\n (B 1234567.89)\n (C 5.0)\n (D 1.0e-07)\n (E 1215752191)\n (F and\xC3\xBA)\n (G 1.5 -0.0 -0.0))\n");
    EXPECT_EQ(vrd("check -q " + in).out, "");
}

// Many lossy values: fmt shows ten and counts the rest; check lists them all.
TEST(CliText, LongLossListsAreCut) {
    std::string text = "(A";
    for (int i = 0; i < 25; ++i) text += " " + std::to_string(i) + ".0";
    ToolRun r = vrd("fmt " + tempFile("many.vrd", text + ")"));
    EXPECT_EQ(lineCount(r.err), 12) << r.err;
    EXPECT_NE(r.err.find("... and 15 more (vrd check lists them all)"), std::string::npos);
    EXPECT_EQ(lineCount(vrd("check " + scratch("many.vrd")).out), 25);
}

const char kNulAndEnd[] = "(A 1 (PT 99999999999 2) \"a\0b\") \xFF (B)";

TEST(CliText, CheckNamesTheRuleOrLimitOfEveryReaderError) {
    const std::string f = scratch("check.vrd");  // where tempFile puts it
    std::string deep;
    for (int i = 0; i < 50; ++i) deep += "(a ";
    std::string longString = "(A \"" + std::string(1999, 's') + "\")";
    for (const auto &[text, expected] : std::initializer_list<std::pair<std::string, std::string>>{
             {"\n(A 1 (B \"two\"))\n\n", ""},
             {"junk (A (PT 1 2 3)) x",
              f + ":1:1: Unexpected data before first form: the text before the first '(' is skipped\n" + f +
                  ":1:17: Bad point: a point group is (PT x y); what follows the y coordinate is read into the enclosing form\n" +
                  f + ":1:19: Unexpected data after last form: only white space may follow the last form; reading stops here\n"},
             {"(A 1\n  (B \"abc", f + ":2:9: Bad string: the text ends inside a string\n" + f +
                                     ":2:9: Bad form: the text ends inside form 'B' opened at 2:3\n" + f +
                                     ":2:9: Bad form: the text ends inside form 'A' opened at 1:1\n"},
             {"  \n", f + ":1:3: No data in file: the text holds no form\n"},
             {deep, f + ":1:148: Bad form: nesting deeper than 49 levels\n"},
             {longString, f + ":1:2003: Bad string: string longer than 1998 bytes (the rest is read as tokens)\n" + f +
                              ":1:2005: Bad string: the text ends inside a string\n" + f +
                              ":1:2005: Bad form: the text ends inside form 'A' opened at 1:1\n"},
             {std::string(kNulAndEnd, sizeof kNulAndEnd - 1), f + ":1:10: warning: coordinate 99999999999 is beyond 32 bits and reads as 1215752191\n" +
                                                              f + ":1:25: warning: a string holds a NUL byte and is cut there\n" + f +
                                                              ":1:32: warning: byte 0xFF ends the text here: the 4 bytes after it are not read\n"},
         }) {
        ToolRun r = vrd("check " + tempFile("check.vrd", text));
        EXPECT_EQ(r.status, expected.empty() ? 0 : 1) << text;
        EXPECT_EQ(r.out, expected);
    }
    // fmt refuses such a text with the same words, on one line.
    ToolRun r = vrd("fmt " + tempFile("check.vrd", deep));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrd: " + f + ": Bad form: nesting deeper than 49 levels (line 1, column 148)\n");
}

// The loss scan follows the reader step for step: on random texts every
// report the reader makes is explained (a detail at the same place), so the
// two never drift apart unnoticed.
TEST(CliText, EveryReaderReportOnRandomTextsIsExplained) {
    const char *pieces[] = {"(", "(", ")", ")", "\"", " ", "\n", "A", "PT ", "12", "-5", "1.5", "x.y", "\x01", "\xC3",
                            "junk", "99999999999", "\t"};
    std::mt19937 rng(20261207);
    int explained = 0;
    for (int sample = 0; sample < 150; ++sample) {
        std::string text;
        for (int i = 0, n = 2 + static_cast<int>(rng() % 30); i < n; ++i) text += pieces[rng() % std::size(pieces)];
        std::string in = tempFile("random.vrd", text);
        ToolRun r = vrd("check " + in);
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.find(": warning: ") != std::string::npos) continue;
            // FILE:LINE:COLUMN: MESSAGE: DETAIL
            size_t message = line.find(": ", in.size() + 1);
            ASSERT_NE(message, std::string::npos) << line;
            EXPECT_NE(line.find(": ", message + 2), std::string::npos) << "unexplained: " << line << "\n" << text;
            ++explained;
        }
    }
    EXPECT_GT(explained, 100);  // the samples do meet the reader's errors
}

TEST_F(Cli, ThePlantModelIsCleanAndSurvivesFormatting) {
    std::string plant = std::string(VRD_SOURCE_DIR) + "/examples/plant.vrd", once = scratch("plant1.vrd");
    ToolRun r = vrd("check " + plant);
    EXPECT_EQ(r.status, 0) << r.out;
    // Formatting is stable, and the formatted text holds the same tree.
    ASSERT_EQ(vrd("fmt " + plant + " -o " + once).status, 0);
    ToolRun twice = vrd("fmt " + once);
    ASSERT_EQ(twice.status, 0);
    EXPECT_EQ(twice.out, slurp(once));
    VRDentity original{}, formatted{};
    ASSERT_EQ(readText(slurp(plant), &original), 0);
    ASSERT_EQ(readText(twice.out, &formatted), 0);
    EXPECT_TRUE(takeReports().empty());
    std::string tree = describe(original);
    EXPECT_EQ(describe(formatted), tree);
    for (const char *piece : {"pt(", "r:", "s:\"", "id:", "i:-", "i:2146"}) EXPECT_NE(tree.find(piece), std::string::npos) << piece;
}

// Coordinates of a board file keep all their digits through fmt, pack and
// unpack with --exact-reals: the text read back holds the same doubles.
TEST_F(Cli, ExactRealsSurviveFmtPackAndUnpack) {
    std::string text = "(board";
    for (int i = 0; i < 300; ++i) {
        double v = 100.0 + i * 1.000001 + (i % 7) * 1e-6;
        char number[80];
        std::snprintf(number, sizeof number, " (at %.9f -%.6f %d.000028)", v, v / 3, 169 + i);
        text += number;
    }
    std::string in = tempFile("board.vrd", text + ")"), formatted = scratch("board.fmt"), packed = scratch("board.bin");
    ASSERT_EQ(vrd("fmt --exact-reals " + in + " -o " + formatted).status, 0);
    ASSERT_EQ(vrd("pack " + formatted + " -o " + packed).status, 0);
    ToolRun r = vrd("unpack --exact-reals " + packed);
    ASSERT_EQ(r.status, 0) << r.err;
    ToolRun standard = vrd("unpack " + packed);
    EXPECT_EQ(standard.status, 1);
    EXPECT_EQ(standard.out, "");
    VRDentity original{}, back{};
    ASSERT_EQ(readText(slurp(in), &original), 0);
    std::string tree = describe(original);
    ASSERT_NE(VRDnew("back"), nullptr);
    ASSERT_EQ(readText(r.out, &back), 0);
    EXPECT_EQ(describe(back), tree);
}

struct FindCase { std::vector<std::string> args; int status; const char *out; };  // args: after FILE

TEST(CliFind, PrintsMatchesDepthFirstFromTheRootOrSaysNothingMatched) {
    std::string in = tempFile("tree.vrd", "(R 1 (B 2 (A 1 \"x\") (A 2 y)) (A 1 \"x\" 3.5) (A 1 z)\n"
                                          " (C (A 1 \"x\" (A 1 \"x\"))) (A 1000000000 -4))");
    // Strings, wildcards, identifiers, reals, big and negative integers, the
    // root itself; a keyword, string or identifier the file lacks finds
    // nothing: the pools are never searched by adding to them.
    const FindCase cases[] = {
        {{"A"}, 0, "(A 1 \"x\")\n(A 2 y)\n(A 1 \"x\" 3.5)\n(A 1 z)\n(A 1 \"x\"\n (A 1 \"x\"))\n(A 1000000000 -4)\n"},
        {{"A", "1", "\"x\""}, 0, "(A 1 \"x\")\n(A 1 \"x\" 3.5)\n(A 1 \"x\"\n (A 1 \"x\"))\n"},
        {{"A", "_", "y"}, 0, "(A 2 y)\n"},
        {{"A", "1", "_", "3.5"}, 0, "(A 1 \"x\" 3.5)\n"},
        {{"A", "+1000000000", "-4"}, 0, "(A 1000000000 -4)\n"},
        {{"B", "2"}, 0, "(B 2\n (A 1 \"x\")\n (A 2 y))\n"},
        {{"R", "1"}, 0, "(R 1\n (B 2\n  (A 1 \"x\")\n  (A 2 y))\n (A 1 \"x\" 3.5)\n (A 1 z)\n (C\n  (A 1 \"x\"\n   (A 1 \"x\")))\n"
                        " (A 1000000000 -4))\n"},
        {{"--json", "A", "2"}, 0, "[\"A\",2,{\"id\":\"y\"}]\n"},
        {{"Q"}, 1, ""}, {{"A", "\"y\""}, 1, ""}, {{"A", "1", "w"}, 1, ""}, {{"A", "3"}, 1, ""},
        {{"A", "1", "_", "2.5"}, 1, ""}, {{"R", "2"}, 1, ""}, {{"A", "1", "\"x\"", "3.5", "_", "_"}, 1, ""},
    };
    for (const FindCase &c : cases) {
        std::vector<std::string> args{"find", in};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun r = vrdRun(args);
        std::string shown = args.back();
        EXPECT_EQ(r.status, c.status) << shown;
        EXPECT_EQ(r.out, c.out) << shown;
        std::string words;
        for (size_t i = 2; i < args.size(); ++i)
            if (args[i] != "--json") words += (words.empty() ? "" : " ") + args[i];
        EXPECT_EQ(r.err, c.status == 0 ? "" : "vrd find: no form " + words + " in " + in + "\n") << shown;
    }
    EXPECT_EQ(vrdRun({"find", "-q", in, "Q"}).err, "");
}

// The help, the usual usage errors and unreadable files are checked for
// every command in test_cli_args; a missing KEYWORD and a VALUE beyond 32 bits are find's own.
TEST(CliFind, RefusesBadArgumentsBrokenFilesAndLossyMatches) {
    std::string in = tempFile("args.vrd", "(A 1 (B 2.0))"), broken = tempFile("broken.vrd", "(A 1");
    ToolRun r;
    for (const std::vector<std::string> &args : {std::vector<std::string>{"find", in}, {"find", in, "A", "99999999999"}}) {
        r = vrdRun(args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
    r = vrdRun({"find", broken, "A"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrd: " + broken + ": Bad form: the text ends inside form 'A' opened at 1:1 (line 1, column 4)\n");
    // A match holding a real that %g would turn into an integer.
    r = vrdRun({"find", in, "B"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vrd: " + in + ": match 1 .[1]: warning: real 2.0 is written as 2 and reads back as an integer "
                     "(--exact-reals keeps it)\nvrd find: 1 value would not come back from the output; nothing written "
                     "(--allow-loss writes it anyway)\n");
    EXPECT_EQ(vrdRun({"find", "--exact-reals", in, "B"}).out, "(B 2.0)\n");
}

// Every kind of entity, as the mapping writes it; what only the C interface
// makes (a form whose keyword is a point tag, NaN and infinities, -0.0)
// reaches the tool through a binary file.
TEST_F(Cli, ToJsonWritesTheMapping) {
    ToolRun r = vrd("to-json " + tempFile("kinds.vrd", "(A 1 -7 300000000 2.0 0.1 \"s t\" id (PT 3 -4) (B) (C x))"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[\"A\",1,-7,300000000,2.0,0.1,\"s t\",{\"id\":\"id\"},[\"PT\",3,-4],[\"B\"],[\"C\",{\"id\":\"x\"}]]\n");
    VRDentity root = form("pt"), e{};
    ASSERT_EQ(VRDformAddReal(kEnd, &e, root, std::nan("")), 0);
    ASSERT_EQ(VRDformAddReal(kEnd, &e, root, -HUGE_VAL), 0);
    ASSERT_EQ(VRDformAddReal(kEnd, &e, root, -0.0), 0);
    ASSERT_EQ(VRDformAddString(root, kEnd, "caf\xE9", &e), 0);  // Windows-1252, not UTF-8
    add(child(root, "PT"), {integer(1)});
    std::string packed = scratch("special.bin");
    ASSERT_EQ(VRDfileWriteBinary(packed.c_str()), 0);
    r = vrd("to-json " + packed);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vrd: " + packed + ": .[4]: warning: text 'caf\xE9' is not valid UTF-8; its bad bytes become U+FFFD\n"
                     "vrd to-json: 1 value would not come back from the output; nothing written (--allow-loss writes it anyway)\n");
    r = vrd("to-json --allow-loss -q --pretty " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[{\"keyword\":\"pt\"}, {\"real\":\"nan\"}, {\"real\":\"-inf\"}, -0.0, \"caf\xEF\xBF\xBD\",\n"
                     "  [{\"keyword\":\"PT\"}, 1]]\n");
}

// JSON to text and back keeps every value: the plant model goes through
// to-json and from-json to the text fmt --exact-reals writes, and through
// from-json --binary to the same store as pack.
TEST_F(Cli, RoundTripsAreExact) {
    std::string plant = std::string(VRD_SOURCE_DIR) + "/examples/plant.vrd", json = scratch("plant.json");
    ASSERT_EQ(vrd("to-json " + plant + " -o " + json).status, 0);
    ToolRun back = vrd("from-json " + json);
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, vrd("fmt --exact-reals " + plant).out);
    std::string fromJson = scratch("json.bin"), packed = scratch("plant.bin");
    ASSERT_EQ(vrd("from-json --binary - -o " + fromJson, stdinFrom(json)).status, 0);
    ASSERT_EQ(vrd("pack " + plant + " -o " + packed).status, 0);
    EXPECT_EQ(vrd("unpack " + fromJson).out, vrd("unpack " + packed).out);
    EXPECT_EQ(vrd("to-json " + fromJson).out, slurp(json));
    // Several values make several roots; the special reals come back.
    std::string two = tempFile("two.json", "[\"A\", 1e20, -0.0, {\"real\": \"inf\"}]\n[\"B\", [\"PT\", -1, 2]]");
    ToolRun r = vrd("from-json " + two);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\n(A 1.0e+20 -0.0 inf.)\n(B (pt -1 2))\n");
}

// What vrd cannot hold is refused with the value's jq path, exit 1, nothing written.
TEST_F(Cli, FromJsonRefusesWhatVrdCannotHold) {
    const struct { const char *json, *message; } refusals[] = {
        {"[]", ".: a form is [\"KEYWORD\", entity, ...]: an empty array has no keyword"},
        {"{\"a\": 1}", ".: the top level is a form: [\"KEYWORD\", entity, ...]"},
        {"[\"PT\", 1, 2]", ".: the top level is a form: [\"KEYWORD\", entity, ...]"},
        {"[1]", ".[0]: a form's head is \"KEYWORD\" or {\"keyword\": \"KEYWORD\"}"},
        {"[\"A\", [\"B\", null]]", ".[1][1]: null has no vrd value"},
        {"[\"A\", true]", ".[1]: true has no vrd value (vrd has no booleans)"},
        {"[\"A\", 99999999999]", ".[1]: integer 99999999999 is beyond 32 bits"},
        {"[\"A\", [\"PT\", 1]]", ".[1]: a point is [\"PT\", x, y] with two 32-bit integers; a form with keyword PT has the "
                                 "head {\"keyword\": \"PT\"}"},
        {"[\"A\", {\"x\": 1}]", ".[1]: an object is {\"id\": TEXT}, {\"real\": \"nan\"|\"-nan\"|\"inf\"|\"-inf\"} or a form's "
                                "head {\"keyword\": TEXT}"},
        {"[\"A\", {\"id\": 5}]", ".[1].id: a text is expected here"},
        {"[\"A\", {\"real\": \"big\"}]", ".[1].real: a special real is \"nan\", \"-nan\", \"inf\" or \"-inf\""},
        {"[\"A\", \"a\\u0000b\"]", ".[1]: a vrd text cannot hold the NUL character"},
        {"[\"A\"] [\"B\", [3]]", "value 2 .[1][0]: a form's head is \"KEYWORD\" or {\"keyword\": \"KEYWORD\"}"},
        {"[\"A\" 1]", "not JSON: [json.exception.parse_error.101] parse error at line 1, column 6: syntax error while parsing "
                      "array - unexpected number literal; expected ']'"},
        {"", "no JSON value"},
    };
    std::string out = scratch("refused.vrd");
    for (const auto &c : refusals) {
        std::string in = tempFile("refused.json", c.json);
        tempFile("refused.vrd", "(old)");
        ToolRun r = vrd("from-json " + in + " -o " + out);
        EXPECT_EQ(r.status, 1) << c.json;
        EXPECT_EQ(r.err, "vrd: " + in + ": " + c.message + "\n");
        EXPECT_EQ(slurp(out), "(old)") << c.json;
    }
    // What the text cannot carry is a loss: refused unless allowed; a binary file keeps it.
    std::string in = tempFile("lossy.json", "[\"A\", [{\"keyword\": \"PT\"}, 1, 2], {\"id\": \"a b\"}]");
    ToolRun r = vrd("from-json " + in);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vrd: " + in + ": .[1]: warning: a form with keyword 'PT' reads back as a point group\nvrd: " + in +
                         ": .[2]: warning: identifier 'a b' does not read back as one token\nvrd from-json: 2 values would "
                         "not come back from the output; nothing written (--allow-loss writes it anyway)\n");
    EXPECT_EQ(vrd("from-json --allow-loss -q " + in).out, "\n(A\n (PT 1 2) a b)\n");
    std::string packed = scratch("lossy.bin");
    ASSERT_EQ(vrd("from-json --binary " + in + " -o " + packed).status, 0);
    EXPECT_EQ(vrd("to-json " + packed).out, "[\"A\",[{\"keyword\":\"PT\"},1,2],{\"id\":\"a b\"}]\n");
}

const char kText[] = "(A 1 \"x\" (b 2) (PT 3 4) y.z -0.50 300000000)";
const char kWritten[] = "\n(A 1 \"x\"\n (b 2) (pt 3 4) y.z -0.5 300000000)\n";

// The packed file is exactly the library's dump of the store the text makes,
// unpacking gives the writer's layout of that tree, and the report of either
// file is the report of the store it reads into.  Likewise through pipes:
// text from standard input, a binary file to standard output, and a binary
// file read back from standard input (the format sniff must not eat it) or
// through /dev/stdin.
TEST_F(Cli, PackUnpackAndStatsAgreeWithTheLibraryThroughFilesAndPipes) {
    std::string in = tempFile("in.vrd", kText), packed = scratch("packed.bin"), out = scratch("unpacked.vrd");
    std::string expected = scratch("expected.bin"), viaStdout = scratch("stdout.bin");
    ToolRun r = vrd("pack " + in + " -o " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    VRDentity root;
    ASSERT_EQ(readText(kText, &root), 0);
    ASSERT_EQ(VRDfileWriteBinary(expected.c_str()), 0);
    EXPECT_EQ(slurp(packed), slurp(expected));
    EXPECT_EQ(vrd("stats " + in).out, statisticsReport());
    r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kWritten);
    EXPECT_EQ(vrd("unpack " + packed + " -o " + out).out, "");
    EXPECT_EQ(slurp(out), kWritten);
    r = vrd("stats " + packed);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(VRDfileReadBinary(packed.c_str()), 0);
    const std::string report = statisticsReport();
    EXPECT_EQ(r.out, report);
    EXPECT_NE(r.out.find("Reals          - 1/1 entries, 8/8 lists\n"), std::string::npos);  // not the text's 1/62
    r = vrd("pack - -o -", RunOptions{in, viaStdout, {}, false});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(viaStdout), slurp(packed));
    EXPECT_EQ(vrd("pack " + in, stdoutTo(viaStdout)).status, 0);  // no -o: standard output, not a terminal here
    EXPECT_EQ(slurp(viaStdout), slurp(packed));
    for (const char *name : {"-", "/dev/stdin"}) {
        if (std::string(name) == "/dev/stdin" && !std::filesystem::exists(name)) continue;  // not on Windows
        r = vrd(std::string("unpack ") + name, stdinFrom(packed));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, kWritten);
        r = vrd(std::string("stats ") + name, stdinFrom(packed));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, report);
    }
}

// Every output replaces its target only when complete: a full device is an
// error with the system's reason, a shorter file leaves no old tail, and a
// failed write leaves the old file as it was.
TEST_F(Cli, OutputsAreCheckedAndReplacedWhole) {
    std::string in = tempFile("out.vrd", kText), old = scratch("old.bin"), reference = scratch("ref2.bin");
    ASSERT_EQ(vrd("pack " + in + " -o " + reference).status, 0);
    for (const std::string &args : {"pack " + in + " -o /dev/full", "fmt " + in + " -o /dev/full",
                                    "unpack " + reference + " -o /dev/full"}) {
        if (fullDevice() == nullptr) break;
        ToolRun r = vrd(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err, "vrd: /dev/full: cannot write: No space left on device\n") << args;
    }
    for (const std::string &args : {"pack " + in + " -o -", "stats " + in, "check " + in + " --version", std::string("--help")}) {
        if (fullDevice() == nullptr) break;
        ToolRun r = vrd(args, stdoutTo("/dev/full"));
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("standard output: cannot write: No space left on device"), std::string::npos) << args << r.err;
    }
    tempFile("old.bin", std::string(200000, 'o'));
    ASSERT_EQ(vrd("pack " + in + " -o " + old).status, 0);
    EXPECT_EQ(slurp(old), slurp(reference));
    // A directory that refuses new files: the old file stays whole.  Windows
    // directories have no such mode bits; there the target is simply replaced.
    std::string dir = scratch("locked");
    std::filesystem::create_directory(dir);
    std::string kept = dir + "/kept.vrd";
    tempFile("locked/kept.vrd", "(old)");
#ifndef _WIN32
    chmod(dir.c_str(), 0555);
    if (geteuid() != 0) {  // root writes anywhere
        ToolRun r = vrd("fmt " + in + " -o " + kept);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "vrd: " + kept + ": cannot write: Permission denied; the file is left as it was\n");
        EXPECT_EQ(slurp(kept), "(old)");
    }
    chmod(dir.c_str(), 0755);
#endif
    // No temporary file is left beside a target.
    ToolRun r = vrd("fmt " + in + " -o " + kept);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(kept), kWritten);
}

// Every live form without an owner is a root, in key and index order.
TEST_F(Cli, UnpackWritesEveryLiveRootInKeyAndIndexOrder) {
    add(form("B"), {integer(1)});
    form("D");
    VRDentity killed = form("B");
    add(child(form("B"), "C"), {integer(2)});
    std::string packed = scratch("roots.bin");
    expectOk({VRDformKill(killed, 0, 0), VRDfileWriteBinary(packed.c_str())});
    EXPECT_EQ(vrd("unpack " + packed).out, "\n(B 1)\n(B\n (C 2))\n(D)\n");
}

// A store built through the interface may hold what the text cannot carry:
// unpack names each value with its path and writes nothing unless allowed.
TEST_F(Cli, UnpackRefusesWhatTheTextCannotCarry) {
    VRDentity root = form("Pt"), e{}, deep = child(root, "d");
    ASSERT_EQ(VRDformAddString(root, kEnd, "say \"hi\"", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "two words", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "-12", &e), 0);
    ASSERT_EQ(VRDformAddReal(kEnd, &e, root, 0.1 + 0.2), 0);
    ASSERT_EQ(VRDformAddString(root, kEnd, std::string(1999, 'l').c_str(), &e), 0);
    for (int i = 0; i < 49; ++i) deep = child(deep, "d");
    std::string packed = scratch("lossy.bin");
    ASSERT_EQ(VRDfileWriteBinary(packed.c_str()), 0);
    ToolRun r = vrd("unpack " + packed);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string p = "vrd: " + packed + ": ";
    EXPECT_EQ(r.err, p + ".: warning: a form with keyword 'Pt' reads back as a point group\n" + p +
                         ".[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]"
                         "[1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1][1]: warning: forms nested deeper than 49 "
                         "levels do not read back\n" +
                         p + ".[2]: warning: string \"say \"hi\"\" holds '\"', which ends it when read back\n" + p +
                         ".[3]: warning: identifier 'two words' does not read back as one token\n" + p +
                         ".[4]: warning: identifier '-12' reads back as an integer\n" + p +
                         ".[5]: warning: real 0.30000000000000004 is written as 0.3 and reads back as 0.3 (--exact-reals keeps it)\n" +
                         p + ".[6]: warning: string of 1999 bytes is longer than the reader's 1998\n"
                         "vrd unpack: 7 values would not come back from the output; nothing written (--allow-loss writes it anyway)\n");
    // check lists the same, on standard output, without the command's prefix.
    ToolRun checked = vrd("check " + packed);
    EXPECT_EQ(checked.status, 1);
    EXPECT_EQ(lineCount(checked.out), 7);
    EXPECT_EQ(checked.out.rfind(packed + ": .: warning: a form with keyword 'Pt' reads back as a point group\n", 0), 0u);
    r = vrd("unpack --exact-reals --allow-loss -q " + packed);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\"say \"hi\"\" two words -12 0.30000000000000004 \"lll"), std::string::npos) << r.out;
}

TEST_F(Cli, BadInputAndUsage) {
    std::string dir = testing::TempDir();  // a missing input: test_cli_args, for every command
    std::string v7 = tempFile("v7.bin", std::string("\x07\0\0\0\0\0\0\0", 8)), badText = tempFile("bad.vrd", "(A 1");
    std::string cut = tempFile("cut.bin", std::string("\x06\0\0\0\x05\0\0\0A", 9)), good = tempFile("good.vrd", kText);
    struct Case { std::string args; int status; std::string message; };
    const Case cases[] = {
        {"pack " + badText + " -o " + scratch("o.bin"), 1, badText + ": Bad form: the text ends inside form 'A'"},
        {"pack " + good + " -o " + dir, 2, dir + ": cannot write: Is a directory"},
        {"pack " + cut + " -o " + scratch("o.bin"), 1, cut + ": already a binary file"},
        {"unpack " + dir, 2, dir + ": cannot read: Is a directory"},
        {"unpack " + v7, 1, v7 + ": not a binary file"},
        {"unpack " + good, 1, good + ": not a binary file"},
        {"unpack " + cut, 1, cut + ": Unexpected end-of-file"},
        {"stats " + dir, 2, dir + ": cannot read: Is a directory"},
        {"stats " + cut, 1, cut + ": Unexpected end-of-file"},
    };
    for (const Case &c : cases) {
        ToolRun r = vrd(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("vrd: " + c.message, 0), 0u) << r.err;
    }
}

}  // namespace
