// test_cli_json.cpp - `vrd to-json` and `vrd from-json` end to end: the mapping, exact round trips, refusals with their paths.
#include <cmath>

#include "cli_support.h"
#include "text_support.h"

namespace {

using namespace vrdtest;
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
