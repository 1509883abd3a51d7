// test_writer_exact.cpp - the exact-real writer beside the standard one, and the reading progress hook.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "text_support.h"

namespace {

using namespace vrdtest;

std::string writeExact(VRDentity e, int32_t caseFlags = 0, int32_t indent = 1) {
    TextChannel *c = openTextBuffer();
    VRDfileWriteEntityExact(c, caseFlags, e, indent);
    std::string text = textBufferData(c, nullptr);
    closeTextFile(c);
    return text;
}

uint64_t bitsOf(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

class ExactWriter : public TreeTest {
protected:
    // The real in a store of its own: the real table would merge tiny values.
    VRDentity real(double v) {
        if (VRDget("real") != nullptr) VRDkill(nullptr, "real");
        EXPECT_NE(VRDnew("real"), nullptr);
        VRDentity e{};
        EXPECT_EQ(VRDrealCreate(v, &e), 0);
        return e;
    }
};

// Each real as both writers render it: the standard one keeps "%g", the exact
// one gives the shortest text that still holds a "." and reads back the same.
// A NaN keeps its sign through text on every system, whatever the C library's
// printf and scanf make of NaNs: written "nan"/"-nan" by both writers, read
// back as the default quiet NaN with that sign (the payload is not kept).
TEST_F(ExactWriter, RendersTheShortestRealTextThatReadsBackAsAReal) {
    const double inf = std::numeric_limits<double>::infinity();
    double payload;  // a negative NaN with a payload
    const uint64_t payloadBits = 0xFFF0000000012345u;
    std::memcpy(&payload, &payloadBits, sizeof payload);
    const struct {
        double value;
        const char *standard, *exact;
    } rows[] = {
        {2.0, " 2", " 2.0"}, {1e20, " 1e+20", " 1.0e+20"}, {0.1, " 0.1", " 0.1"}, {-0.0, " -0", " -0.0"},
        {166.964229, " 166.964", " 166.964229"}, {-2.479646, " -2.47965", " -2.479646"},
        {169.000028, " 169", " 169.000028"}, {1234567.89, " 1.23457e+06", " 1234567.89"},
        {1e-07, " 1e-07", " 1.0e-07"}, {0.30000000000000004, " 0.3", " 0.30000000000000004"},
        {5e-324, " 4.94066e-324", " 5.0e-324"}, {1.7976931348623157e308, " 1.79769e+308", " 1.7976931348623157e+308"},
        {inf, " inf", " inf."}, {-inf, " -inf", " -inf."},
        {std::nan(""), " nan", " nan."}, {-std::nan(""), " -nan", " -nan."}, {payload, " -nan", " -nan."},
    };
    for (const auto &row : rows) {
        VRDentity e = real(row.value);
        EXPECT_EQ(writeText(e), row.standard) << row.exact;
        EXPECT_EQ(writeExact(e), row.exact);
    }
    VRDentity back{};
    ASSERT_EQ(readText("(N nan. -nan. NaN. -NAN. +nan.)", &back), 0);
    const uint64_t quiet = 0x7FF8000000000000u, negative = 0xFFF8000000000000u;
    const uint64_t expected[] = {quiet, negative, quiet, negative, quiet};
    ASSERT_EQ(VRDformEntityCount(back), 5u);
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(bitsOf(VRDrealGetValue(VRDformGetEntity(back, i))), expected[i]) << i;
    EXPECT_TRUE(takeReports().empty());
}

// Random doubles of every magnitude: each exact text holds a "." and sscanf
// gives the same bits back (NaNs keep their sign only, as the header says).
TEST_F(ExactWriter, EveryDoubleReadsBackBitForBit) {
    std::mt19937_64 rng(20261206);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        std::string text = writeExact(real(v));
        ASSERT_EQ(text[0], ' ');
        ASSERT_NE(text.find('.'), std::string::npos) << text;
        double back = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%lf", &back), 1) << text;
        if (std::isnan(v))  // the sign is all a NaN's text keeps, on every system
            EXPECT_EQ(text, std::signbit(v) ? " -nan." : " nan.");
        else
            EXPECT_EQ(bitsOf(back), bits) << text;
    }
}

// Apart from reals the two writers give the same bytes, and a tree written
// exactly reads back with every real unchanged where %g would have cut it.
TEST_F(ExactWriter, SameLayoutAndAnExactRoundTrip) {
    VRDentity root = form("Board"), e{};
    add(root, {integer(-7), integer(300000000)});
    ASSERT_EQ(VRDformAddString(root, kEnd, "a b", &e), 0);
    ASSERT_EQ(VRDformAddId(root, kEnd, "x.y", &e), 0);
    VRDentity pad = child(root, "pad");
    for (int i = 0; i < 12; ++i) ASSERT_EQ(VRDformAddPoint(kEnd, &e, pad, i, -i), 0);
    for (int32_t layout = 0; layout < 4; ++layout)
        EXPECT_EQ(writeExact(root, layout & 1, layout >> 1), writeText(root, layout & 1, layout >> 1));
    const double values[] = {166.964229, 169.000028, 2.0, 1e20, -0.0, 1e-07};
    for (double v : values) ASSERT_EQ(VRDformAddReal(kEnd, &e, pad, v), 0);
    std::string text = writeExact(root);
    EXPECT_NE(text, writeText(root));
    VRDentity back{};
    ASSERT_NE(VRDnew("back"), nullptr);
    ASSERT_EQ(readText(text, &back), 0);
    VRDentity backPad = VRDformGetEntity(back, 4);
    for (uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(bitsOf(VRDrealGetValue(VRDformGetEntity(backPad, 12 + i))), bitsOf(values[i])) << values[i];
    EXPECT_TRUE(takeReports().empty());
}

// Short of memory for the walk, or with no store, either writer writes
// nothing and reports under its own name.
TEST_F(ExactWriter, ShortMemoryAndNoStoreReportUnderEachWritersName) {
    VRDentity f = form("F");
    add(f, {integer(1)});
    TextChannel *c = openTextBuffer();
    heapwrapFailNth(1);
    EXPECT_EQ(VRDfileWriteEntityExact(c, 0, f, 1), 0);
    heapwrapFailNth(1);
    VRDfileWriteEntity(c, 0, f, 1);
    ASSERT_EQ(VRDkill(nullptr, "test"), 0);
    EXPECT_EQ(VRDfileWriteEntityExact(c, 0, f, 1), 0);
    VRDfileWriteEntity(c, 0, f, 1);
    EXPECT_STREQ(textBufferData(c, nullptr), "");
    closeTextFile(c);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDfileWriteEntityExact", -2}, {"VRDfileWriteEntity", -2},
                                                  {"VRDfileWriteEntityExact", -3}, {"VRDfileWriteEntity", -3}}));
}

// The progress hook of a reading channel: one call per MiB handed out, with
// the count so far; writing channels refuse it.
void VRD_CALL countProgress(void *context, size_t bytes) { static_cast<std::vector<size_t> *>(context)->push_back(bytes); }

TEST(ReadingProgress, OneCallPerMebibyteHandedOut) {
    const size_t mib = 1 << 20;
    std::string text(2 * mib + 5, ' ');
    std::vector<size_t> calls;
    TextChannel *c = openTextString(text.data(), text.size());
    ASSERT_EQ(textChannelSetProgress(c, countProgress, &calls), 0);
    for (char byte; readTextFileChar(c, &byte) != 0;) continue;
    EXPECT_EQ(calls, (std::vector<size_t>{mib, 2 * mib}));
    ASSERT_EQ(textChannelSetProgress(c, nullptr, nullptr), 0);
    closeTextFile(c);
    TextChannel *w = openTextBuffer();
    EXPECT_EQ(textChannelSetProgress(w, countProgress, &calls), -1);
    EXPECT_EQ(textChannelSetProgress(nullptr, countProgress, &calls), -1);
    closeTextFile(w);
}

}  // namespace
