// test_textchan.cpp - text channels: files, strings and buffers, their ends, formats and failures.
#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "support.h"
#include "vrd/textchan.h"

namespace {

// Everything a reading channel hands out up to its end, which gives 0 and
// the byte -1 on that call and on every later one.
std::string drain(TextChannel *c) {
    std::string all;
    char ch = 0;
    while (readTextFileChar(c, &ch) != 0) all.push_back(ch);
    for (int later = 0; later < 3; ++later) EXPECT_TRUE(ch == '\xFF' && readTextFileChar(c, &(ch = 'x')) == 0);
    return all;
}

std::string bufferText(TextChannel *c) {
    size_t length = 0;
    const char *data = textBufferData(c, &length);
    return std::string(data, length);
}

TEST(TextChannel, StringAndFileChannelsEndWithZeroAndMinusOne) {
    TextChannel *c = openTextString("a\xFF" "b", 3);  // 0xFF is data to the channel
    EXPECT_EQ(drain(c), "a\xFF" "b");
    EXPECT_EQ(printTextFileChar(c, 'z'), 0);  // a reading channel cannot write
    EXPECT_EQ(closeTextFile(c), 0);
    // Files go through in blocks; reading takes two allocations, not one per block.
    std::string path = vrdtest::scratchPath("textchan_blocks.txt"), expected;
    for (int i = 0; i < 300000; ++i) expected.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    TextChannel *w = openTextFile(path.c_str(), "w");
    EXPECT_EQ(readTextFileChar(w, nullptr), 0);  // a writing channel cannot read
    for (char ch : expected) ASSERT_EQ(printTextFileChar(w, static_cast<unsigned char>(ch)), 1);
    EXPECT_EQ(closeTextFile(w), 0);
    long before = heapwrapCalls();
    TextChannel *r = openTextFile(path.c_str(), "r");
    EXPECT_EQ(drain(r), expected);
    EXPECT_EQ(closeTextFile(r), 0);
    EXPECT_EQ(heapwrapCalls() - before, 2);
    std::remove(path.c_str());
    if ((w = openTextFile("/dev/full", "w")) != nullptr) {  // a failed write shows on close at the latest
        for (int i = 0; i < 100; ++i) printTextFileChar(w, 'x');
        EXPECT_EQ(closeTextFile(w), -1);
    }
}

TEST(TextChannel, OpenRefusesBadModesMissingFilesAndShortMemory) {
    std::string path = vrdtest::scratchPath("textchan_open.txt");
    for (const char *mode : {"a", "rw"}) EXPECT_EQ(openTextFile(path.c_str(), mode), nullptr);
    EXPECT_EQ(openTextFile((path + ".missing").c_str(), "r"), nullptr);
    EXPECT_EQ(openTextFile(::testing::TempDir().c_str(), "r"), nullptr);  // a directory yields no text
    for (long n = 1; n <= 2; ++n) {  // the channel record, then its block: nothing leaks
        heapwrapFailNth(n);
        EXPECT_EQ(openTextFile(path.c_str(), "w"), nullptr) << n;
        heapwrapFailNth(n);
        EXPECT_EQ(openTextBuffer(), nullptr) << n;
    }
    heapwrapFailNth(1);
    EXPECT_EQ(openTextString("abc", 3), nullptr);
    heapwrapFailNth(0);
}

TEST(TextChannel, BufferFormatsAndGrowsAndAFailedGrowthLosesBytesVisibly) {
    TextChannel *b = openTextBuffer();
    EXPECT_EQ(printTextFile(b, "%s", "ab c"), 4);
    for (int32_t v : {-17, INT32_MIN, INT32_MAX, 0}) printTextFile(b, "[%l]", v);
    for (double v : {2.0, 0.123456789, 1e20, -0.5, DBL_MAX}) printTextFile(b, "[%g]", v);
    printTextFile(b, "%s=%l%%", "x", 5);
    // An unknown directive (or a lone "%") fails and stops the output there.
    EXPECT_EQ(printTextFile(b, "a%d", 3), -1);
    EXPECT_EQ(printTextFile(b, "b%"), -1);
    std::string expected = "ab c[-17][-2147483648][2147483647][0][2][0.123457][1e+20][-0.5][1.79769e+308]x=5%ab";
    while (expected.size() < 16384) expected.push_back(static_cast<char>('a' + expected.size() % 26));
    for (size_t i = bufferText(b).size(); i < expected.size(); ++i) ASSERT_EQ(printTextFileChar(b, expected[i]), 1);
    EXPECT_EQ(bufferText(b), expected);
    EXPECT_EQ(textBufferData(b, nullptr)[expected.size()], '\0');
    // A failed growth refuses that byte and every later one, keeps the text, fails the close.
    heapwrapFailNth(1);
    EXPECT_EQ(printTextFileChar(b, 'x'), 0);
    heapwrapFailNth(0);
    EXPECT_EQ(printTextFileChar(b, 'y'), 0);
    EXPECT_EQ(bufferText(b), expected);
    EXPECT_EQ(closeTextFile(b), -1);
}

}  // namespace
