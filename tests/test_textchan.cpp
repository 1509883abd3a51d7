// test_textchan.cpp - text channels (files, strings, buffers) and the Windows-1252 classification.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <string>

#include "files/charclass.h"
#include "support.h"
#include "vrd/textchan.h"

namespace {

std::string tempPath(const char *name) { return ::testing::TempDir() + name; }

// Everything a reading channel hands out, up to its end.
std::string drain(TextChannel *c) {
    std::string all;
    char ch;
    while (readTextFileChar(c, &ch) != 0) all.push_back(ch);
    return all;
}

std::string bufferText(TextChannel *c) {
    size_t length = 0;
    const char *data = textBufferData(c, &length);
    return std::string(data, length);
}

TEST(TextChannel, StringChannelEndsWithMinusOneForEveryCallAfterTheEnd) {
    const char text[] = {'a', '\xFF', 'b'};
    TextChannel *c = openTextString(text, sizeof text);
    ASSERT_NE(c, nullptr);
    char ch = 0;
    ASSERT_EQ(readTextFileChar(c, &ch), 1);
    EXPECT_EQ(ch, 'a');
    // A 0xFF byte is data to the channel; the reader decides what it means.
    ASSERT_NE(readTextFileChar(c, &ch), 0);
    EXPECT_EQ(ch, '\xFF');
    ASSERT_EQ(readTextFileChar(c, &ch), 1);
    EXPECT_EQ(ch, 'b');
    for (int i = 0; i < 3; ++i) {
        ch = 'x';
        EXPECT_EQ(readTextFileChar(c, &ch), 0);
        EXPECT_EQ(ch, static_cast<char>(-1));
    }
    EXPECT_EQ(printTextFileChar(c, 'z'), 0);  // a reading channel cannot write
    EXPECT_EQ(closeTextFile(c), 0);

    TextChannel *empty = openTextString(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(readTextFileChar(empty, &ch), 0);
    EXPECT_EQ(ch, static_cast<char>(-1));
    EXPECT_EQ(closeTextFile(empty), 0);
    EXPECT_EQ(readTextFileChar(nullptr, &ch), 0);
    EXPECT_EQ(closeTextFile(nullptr), -1);
}

TEST(TextChannel, FilesRoundTripAcrossManyBlocksWithEveryByte) {
    std::string path = tempPath("textchan_blocks.txt");
    std::string expected;
    for (int i = 0; i < 300000; ++i) expected.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    TextChannel *w = openTextFile(path.c_str(), "w");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(readTextFileChar(w, nullptr), 0);  // a writing channel cannot read
    for (char ch : expected) ASSERT_EQ(printTextFileChar(w, static_cast<unsigned char>(ch)), 1);
    EXPECT_EQ(closeTextFile(w), 0);

    // Reading the whole file takes a handful of allocations, not one per block.
    long before = heapwrapCalls();
    TextChannel *r = openTextFile(path.c_str(), "r");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(drain(r), expected);
    char ch = 0;
    EXPECT_EQ(readTextFileChar(r, &ch), 0);
    EXPECT_EQ(ch, static_cast<char>(-1));
    EXPECT_EQ(closeTextFile(r), 0);
    EXPECT_EQ(heapwrapCalls() - before, 2);
    std::remove(path.c_str());
}

TEST(TextChannel, OpenRefusesBadModesMissingFilesAndShortMemory) {
    std::string path = tempPath("textchan_open.txt");
    EXPECT_EQ(openTextFile(path.c_str(), "a"), nullptr);
    EXPECT_EQ(openTextFile(path.c_str(), "rw"), nullptr);
    EXPECT_EQ(openTextFile(nullptr, "r"), nullptr);
    EXPECT_EQ(openTextFile((path + ".missing").c_str(), "r"), nullptr);

    // The channel record, then its block: either failing gives no channel
    // and leaks nothing (the sanitizer checks the latter).
    for (long n = 1; n <= 2; ++n) {
        heapwrapFailNth(n);
        EXPECT_EQ(openTextFile(path.c_str(), "w"), nullptr) << n;
        heapwrapFailNth(n);
        EXPECT_EQ(openTextBuffer(), nullptr) << n;
    }
    heapwrapFailNth(1);
    EXPECT_EQ(openTextString("abc", 3), nullptr);
    heapwrapFailNth(0);
}

TEST(TextChannel, BufferGrowsKeepsItsTextTerminatedAndReportsLostBytes) {
    TextChannel *b = openTextBuffer();
    ASSERT_NE(b, nullptr);
    size_t length = 99;
    EXPECT_STREQ(textBufferData(b, &length), "");
    EXPECT_EQ(length, 0u);
    std::string expected;
    for (int i = 0; i < 10000; ++i) {
        char ch = static_cast<char>('a' + i % 26);
        expected.push_back(ch);
        ASSERT_EQ(printTextFileChar(b, ch), 1);
    }
    EXPECT_EQ(bufferText(b), expected);
    EXPECT_EQ(textBufferData(b, nullptr)[expected.size()], '\0');

    // The next growth fails: the byte is refused, the channel stays failed,
    // what was written survives and the close says something was lost.
    while (expected.size() < 16384) {
        expected.push_back('q');
        ASSERT_EQ(printTextFileChar(b, 'q'), 1);
    }
    heapwrapFailNth(1);
    EXPECT_EQ(printTextFileChar(b, 'x'), 0);
    heapwrapFailNth(0);
    EXPECT_EQ(printTextFileChar(b, 'y'), 0);
    EXPECT_EQ(bufferText(b), expected);
    EXPECT_EQ(closeTextFile(b), -1);

    TextChannel *r = openTextString("x", 1);
    EXPECT_EQ(textBufferData(r, &length), nullptr);
    closeTextFile(r);
}

TEST(TextChannel, PrintFormatsTextsRealsAndSigned32BitIntegers) {
    TextChannel *b = openTextBuffer();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(printTextFile(b, "%s", "ab c"), 4);
    EXPECT_EQ(printTextFile(b, "[%l]", -17), 5);
    printTextFile(b, "[%l]", INT32_MIN);
    printTextFile(b, "[%l]", INT32_MAX);
    printTextFile(b, "[%l]", 0);
    printTextFile(b, "[%g]", 2.0);
    printTextFile(b, "[%g]", 0.123456789);
    printTextFile(b, "[%g]", 1e20);
    printTextFile(b, "[%g]", -0.5);
    printTextFile(b, "[%g]", DBL_MAX);
    printTextFile(b, "%s=%l%%", "x", 5);
    EXPECT_EQ(bufferText(b),
              "ab c[-17][-2147483648][2147483647][0][2][0.123457][1e+20][-0.5][1.79769e+308]x=5%");
    // An unknown directive (or a lone "%") fails and stops the output there.
    size_t before = bufferText(b).size();
    EXPECT_EQ(printTextFile(b, "a%d", 3), -1);
    EXPECT_EQ(printTextFile(b, "b%"), -1);
    EXPECT_EQ(bufferText(b).substr(before), "ab");
    EXPECT_EQ(printTextFile(nullptr, "%s", "x"), -1);
    EXPECT_EQ(closeTextFile(b), 0);
}

TEST(TextChannel, WriteFailureOfTheFileShowsAtTheLatestOnClose) {
    TextChannel *w = openTextFile("/dev/full", "w");
    if (w == nullptr) GTEST_SKIP() << "no /dev/full here";
    for (int i = 0; i < 100; ++i) printTextFileChar(w, 'x');
    EXPECT_EQ(closeTextFile(w), -1);
}

TEST(TextChannel, PositionIsTheLineAndColumnOfTheLastByte) {
    const char text[] = "ab\ncd\n\ne";
    TextChannel *c = openTextString(text, sizeof text - 1);
    long line = -1, column = -1;
    ASSERT_EQ(textChannelPosition(c, &line, &column), 0);
    EXPECT_EQ(line, 0);
    EXPECT_EQ(column, 0);
    const long expected[][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}, {3, 1}, {4, 1}};
    char ch;
    for (const auto &where : expected) {
        ASSERT_EQ(readTextFileChar(c, &ch), 1);
        textChannelPosition(c, &line, &column);
        EXPECT_EQ(line, where[0]);
        EXPECT_EQ(column, where[1]);
    }
    // The end of input does not move the position.
    EXPECT_EQ(readTextFileChar(c, &ch), 0);
    textChannelPosition(c, &line, &column);
    EXPECT_EQ(line, 4);
    EXPECT_EQ(column, 1);
    closeTextFile(c);
    EXPECT_EQ(textChannelPosition(nullptr, &line, &column), -1);
}

TEST(CharClass, Windows1252LettersAndAsciiDigits) {
    // Letters beyond ASCII by their Windows-1252 codes; a signed char and
    // its unsigned value classify alike.
    for (int c : {int{'Z'}, 0x8A, 0x8C, 0x8E, 0x9F, 0xC0, 0xD6, 0xD8, 0xDE, -0x37 /* 0xC9 */})
        EXPECT_TRUE(vrd::isCharUpper(c) && !vrd::isCharLower(c) && vrd::isCharAlpha(c)) << c;
    for (int c : {int{'a'}, 0x83, 0x9A, 0x9C, 0x9E, 0xB5, 0xDF, 0xE0, 0xF6, 0xF8, 0xFF, -0x17 /* 0xE9 */})
        EXPECT_TRUE(vrd::isCharLower(c) && !vrd::isCharUpper(c) && vrd::isCharAlphaNumeric(c)) << c;
    // Not letters: the multiplication and division signs, currency signs,
    // superscript digits, punctuation and controls.
    for (int c : {0xD7, 0xF7, 0x80, 0xA3, 0xB2, 0xB9, int{'.'}, int{'_'}, 0x00, 0x7F})
        EXPECT_FALSE(vrd::isCharAlphaNumeric(c)) << c;
    for (int c = '0'; c <= '9'; ++c) EXPECT_TRUE(vrd::isCharAlphaNumeric(c) && !vrd::isCharAlpha(c));
    // The C locale's case mapping changes ASCII letters only.
    EXPECT_EQ(vrd::toUpperAscii('q'), 'Q');
    EXPECT_EQ(vrd::toLowerAscii('Q'), 'q');
    EXPECT_EQ(vrd::toUpperAscii(0xE9), 0xE9);
    EXPECT_EQ(vrd::toUpperAscii('{'), '{');
}

}  // namespace
