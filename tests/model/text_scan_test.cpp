// TextScan tests: its searches and counts against plain loops, at every offset and alignment.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "model/text_scan.h"

namespace {

TEST(TextScan, searchesAndCountsAgreeWithPlainLoops)
{
    std::mt19937 random(42);
    for (int round = 0; round < 300; ++round) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, 90)(random), 'a');
        for (char& ch : text) ch = "{{}a,\x80\xff"[random() % 7];
        std::unique_ptr<char[]> exact(new char[text.size()]);
        std::copy(text.begin(), text.end(), exact.get());
        const TextScan scan(exact.get(), exact.get() + text.size());
        for (std::size_t from = 0; from <= text.size() + 2; ++from) {
            for (char c : {'{', '}', '\xff'}) {
                std::size_t count = 0;
                for (std::size_t i = from; i < text.size(); ++i) count += text[i] == c;
                ASSERT_EQ(scan.countFrom(c, from), count) << text << " from " << from;
                const std::size_t found = from < text.size() ? text.find(c, from) : std::string::npos;
                ASSERT_EQ(scan.find(c, from), found == std::string::npos ? TextScan::npos : found)
                    << text << " from " << from;
            }
        }
    }
}

TEST(TextScan, numbersReadAtAnyCursorInAnyOrderAgreeWithAFreshRead)
{
    // The scanner remembers white space before a missing number; reads that jump back and forth
    // over it must still see the text exactly as a fresh scanner does.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string text(std::uniform_int_distribution<std::size_t>(1, 60)(random), ' ');
        for (char& ch : text) ch = "   \t\n-+1234,{"[random() % 13];
        const TextScan remembering(text.data(), text.data() + text.size());
        for (int read = 0; read < 100; ++read) {
            std::size_t cursor = std::uniform_int_distribution<std::size_t>(0, text.size() + 1)(random);
            std::size_t freshCursor = cursor;
            int64_t value = -1;
            long freshValue = -2;
            const bool ok = remembering.readNumber(cursor, value);
            ASSERT_EQ(ok, TextScan(text.data(), text.data() + text.size()).readNumber(freshCursor, freshValue)) << text;
            if (!ok) continue;
            ASSERT_EQ(value, freshValue) << text;
            ASSERT_EQ(cursor, freshCursor) << text;
        }
    }
}

TEST(TextScan, aRunOfBlanksBeforeMissingNumbersIsScannedOnce)
{
    // A polygon of 255 missing indices in twenty million blanks: every read finds no digits and
    // moves one character on, into the same run of blanks.
    const std::string text = "{" + std::string(20000000, ' ') + "}";
    const TextScan scan(text.data(), text.data() + text.size());
    std::size_t cursor = 1;
    for (int k = 0; k < 255; ++k) {
        int64_t value = -1;
        ASSERT_TRUE(scan.readNumber(cursor, value));
        ASSERT_EQ(value, 0);
        ASSERT_EQ(cursor, 2u + static_cast<std::size_t>(k));
    }
    // Once by the number reader and once to remember the run; not once per index.
    EXPECT_LE(scan.blanksExamined(), 2 * text.size());
}

TEST(TextScan, theTextEndsAtItsFirstZeroByte)
{
    const std::string text("{ 1 }\0{ 2 }", 11);
    const TextScan scan(text.data(), text.data() + text.size());
    EXPECT_EQ(scan.size(), 5u);
    EXPECT_EQ(scan.countFrom('{', 0), 1u);
    EXPECT_EQ(scan.find('{', 1), TextScan::npos);
    std::size_t cursor = 6;
    int64_t value = 0;
    EXPECT_FALSE(scan.readNumber(cursor, value));  // past the end
    cursor = 5;
    EXPECT_TRUE(scan.readNumber(cursor, value));  // at the end: no digits, the cursor moves by one
    EXPECT_EQ(value, 0);
    EXPECT_EQ(cursor, 6u);
}

}  // namespace
