// test_cli_text.cpp - the text commands run end to end: `vrd fmt` and `vrd check` (layout, reader limits named,
// losses found with their places), `vrd find`, and `vrd to-json` and `vrd from-json` (the mapping, exact round trips,
// refusals with their paths).
#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include "cli_support.h"
#include "text_support.h"

namespace {

using namespace vrdtest;

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

using CliExample = StoreTest;

TEST_F(CliExample, ThePlantModelIsCleanAndSurvivesFormatting) {
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
TEST_F(CliExample, ExactRealsSurviveFmtPackAndUnpack) {
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

using CliJson = TreeTest;

// Every kind of entity, as the mapping writes it; what only the C interface
// makes (a form whose keyword is a point tag, NaN and infinities, -0.0)
// reaches the tool through a binary file.
TEST_F(CliJson, ToJsonWritesTheMapping) {
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
TEST_F(CliJson, RoundTripsAreExact) {
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
TEST_F(CliJson, FromJsonRefusesWhatVrdCannotHold) {
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

}  // namespace
