// test_textchan.cpp - text channels: files, strings and buffers, their ends, formats and failures.
#include <cfloat>
#include <string>

#include "support.h"
#include "vrd/textchan.h"

namespace {

// Everything a reading channel hands out; its end gives 0 and the byte -1, now and on every later call.
std::string drain(TextChannel *c) {
    std::string all;
    char ch = 0;
    while (readTextFileChar(c, &ch) != 0) all.push_back(ch);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ch == '\xFF' && readTextFileChar(c, &(ch = 'x')) == 0);
    return all;
}

TEST(TextChannel, StringAndFileChannelsEndWithZeroAndMinusOne) {
    TextChannel *c = openTextString("a\xFF" "b", 3);  // 0xFF is data to the channel
    EXPECT_EQ(drain(c), "a\xFF" "b");
    EXPECT_TRUE(printTextFileChar(c, 'z') == 0 && closeTextFile(c) == 0);  // a reading channel cannot write
    // Files go through in blocks; reading takes two allocations, not one per block.
    std::string path = vrdtest::scratchPath("textchan_blocks.txt"), expected;
    for (int i = 0; i < 300000; ++i) expected.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    TextChannel *w = openTextFile(path.c_str(), "w");
    EXPECT_EQ(readTextFileChar(w, nullptr), 0);  // a writing channel cannot read
    for (char ch : expected) ASSERT_EQ(printTextFileChar(w, static_cast<unsigned char>(ch)), 1);
    ASSERT_EQ(closeTextFile(w), 0);
    long before = heapwrapCalls();
    TextChannel *r = openTextFile(path.c_str(), "r");
    EXPECT_EQ(drain(r), expected);
    EXPECT_TRUE(closeTextFile(r) == 0 && heapwrapCalls() - before == 2);
    std::remove(path.c_str());
    TextChannel *full = openTextFile("/dev/full", "w");  // a failed write shows on close at the latest
    for (int i = 0; full != nullptr && i < 100; ++i) printTextFileChar(full, 'x');
    EXPECT_TRUE(full == nullptr || closeTextFile(full) == -1);
}

TEST(TextChannel, OpenRefusesBadModesMissingFilesDirectoriesAndShortMemory) {
    std::string path = vrdtest::scratchPath("textchan_open.txt"), missing = path + ".missing";
    for (const char *mode : {"a", "rw"}) EXPECT_EQ(openTextFile(path.c_str(), mode), nullptr);
    EXPECT_EQ(openTextFile(missing.c_str(), "r"), nullptr);
    EXPECT_EQ(openTextFile(::testing::TempDir().c_str(), "r"), nullptr);  // a directory yields no text
    for (long n = 1; n <= 2; ++n) {  // the channel record, then its block: nothing leaks
        heapwrapFailNth(n);
        EXPECT_EQ(openTextFile(path.c_str(), "w"), nullptr) << n;
        heapwrapFailNth(n);
        EXPECT_EQ(openTextBuffer(), nullptr) << n;
    }
    heapwrapFailNth(1);
    EXPECT_EQ(openTextString("abc", 3), nullptr);
}

TEST(TextChannel, BufferFormatsAndGrowsAndAFailedGrowthLosesBytesVisibly) {
    TextChannel *b = openTextBuffer();
    auto text = [b] { size_t n = 0; const char *data = textBufferData(b, &n); return std::string(data, n); };
    EXPECT_EQ(printTextFile(b, "%s", "ab c"), 4);
    for (int32_t v : {-17, INT32_MIN, INT32_MAX, 0}) printTextFile(b, "[%l]", v);
    for (double v : {2.0, 0.123456789, 1e20, -0.5, DBL_MAX}) printTextFile(b, "[%g]", v);
    printTextFile(b, "%s=%l%%", "x", 5);
    // An unknown directive (or a lone "%") fails and stops the output there.
    EXPECT_TRUE(printTextFile(b, "a%d", 3) == -1 && printTextFile(b, "b%") == -1);
    std::string expected = "ab c[-17][-2147483648][2147483647][0][2][0.123457][1e+20][-0.5][1.79769e+308]"
                           "x=5%ab";
    while (expected.size() < 16384) expected.push_back(static_cast<char>('a' + expected.size() % 26));
    for (size_t i = text().size(); i < expected.size(); ++i) ASSERT_EQ(printTextFileChar(b, expected[i]), 1);
    EXPECT_TRUE(text() == expected && textBufferData(b, nullptr)[expected.size()] == '\0');
    // A failed growth refuses that byte and every later one, keeps the text, fails the close.
    heapwrapFailNth(1);
    EXPECT_TRUE(printTextFileChar(b, 'x') == 0 && printTextFileChar(b, 'y') == 0 && text() == expected);
    EXPECT_EQ(closeTextFile(b), -1);
}

}  // namespace
