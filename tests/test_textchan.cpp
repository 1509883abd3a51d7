// test_textchan.cpp - text channels: files, strings and buffers, their ends, formats and failures.
#include <cfloat>
#include <random>
#include <string>
#include <utility>

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
    // A failed write shows on close at the latest.
    TextChannel *full = vrdtest::fullDevice() ? openTextFile(vrdtest::fullDevice(), "w") : nullptr;
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

// Line and column of the n-th byte of `bytes`, counted one byte at a time.
std::pair<long, long> placeOf(const std::string &bytes, size_t n) {
    long line = 0, column = 0;
    for (size_t i = 0; i < n; ++i) {
        bool starts = line == 0 || (i > 0 && bytes[i - 1] == '\n');
        line += starts ? 1 : 0;
        column = starts ? 1 : column + 1;
    }
    return {line, column};
}

std::pair<long, long> placeOf(TextChannel *c) {
    std::pair<long, long> p;
    EXPECT_EQ(textChannelPosition(c, &p.first, &p.second), 0);
    return p;
}

// Files go through in blocks, every byte value as data; reading takes two
// allocations, not one per block.  Channels keep their place over every byte
// handed out or written, across the blocks of a file and lines longer than a
// block, whoever asks when.
TEST(TextChannel, FilesPassEveryByteAndPlacesAreThoseOfTheBytesPassedThrough) {
    std::mt19937 rng(3);
    std::string text(70000, 'x');  // a first line longer than a block
    for (int i = 0; i < 256; ++i) text.push_back(static_cast<char>(i));
    while (text.size() < 300000) text += rng() % 8 == 0 ? std::string(rng() % 3 + 1, '\n') : std::string(rng() % 90, 'y');
    for (int i = 0; i < 4096; ++i) text.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
    std::string path = vrdtest::scratchPath("textchan_places.txt");
    TextChannel *w = openTextFile(path.c_str(), "w");
    EXPECT_EQ(readTextFileChar(w, nullptr), 0);  // a writing channel cannot read
    for (size_t i = 0; i < text.size();) {
        size_t end = std::min(text.size(), i + 1 + rng() % 5000);
        for (; i < end; ++i) ASSERT_EQ(printTextFileChar(w, static_cast<unsigned char>(text[i])), 1);
        ASSERT_EQ(placeOf(w), placeOf(text, i)) << i;
    }
    ASSERT_EQ(closeTextFile(w), 0);
    for (int kind = 0; kind < 2; ++kind) {
        long before = heapwrapCalls();
        TextChannel *r = kind == 0 ? openTextFile(path.c_str(), "r") : openTextString(text.data(), text.size());
        EXPECT_EQ(placeOf(r), std::make_pair(0L, 0L));
        size_t taken = 0;
        for (char ch; readTextFileChar(r, &ch) != 0;) {
            ASSERT_EQ(ch, text[taken++]) << taken;
            if (rng() % 1000 == 0 || taken % 65536 < 2) {
                ASSERT_EQ(placeOf(r), placeOf(text, taken)) << taken;
            }
        }
        EXPECT_TRUE(taken == text.size() && drain(r).empty());
        EXPECT_EQ(placeOf(r), placeOf(text, text.size()));  // the end moves nothing
        EXPECT_TRUE(closeTextFile(r) == 0 && (kind == 1 || heapwrapCalls() - before == 2)) << kind;
    }
    std::remove(path.c_str());
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
