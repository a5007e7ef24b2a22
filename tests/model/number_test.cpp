// Number reader tests: the project's reader against the C library's strtol on random and boundary texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "model/number.h"

namespace {

void expectLikeStrtol(const std::string& text)
{
    char* strtolEnd = nullptr;
    errno = 0;
    const long expected = std::strtol(text.c_str(), &strtolEnd, 10);
    int64_t value = -7;
    const char* end = readInteger(text.data(), text.data() + text.size(), &value);
    EXPECT_EQ(value, expected) << '"' << text << '"';
    EXPECT_EQ(end - text.data(), strtolEnd - text.c_str()) << '"' << text << '"';
}

TEST(ReadLong, agreesWithStrtolOnBoundaries)
{
    for (const char* text : {"",
                             " ",
                             "-",
                             "+",
                             "+-1",
                             "--1",
                             " \t\n\v\f\r42x",
                             "\x01"
                             "5",
                             "0",
                             "-0",
                             "007",
                             "9223372036854775807",
                             "9223372036854775808",
                             "-9223372036854775808",
                             "-9223372036854775809",
                             "99999999999999999999999999",
                             "-99999999999999999999999",
                             "18446744073709551616",
                             "1844674407370955161",
                             "12,34",
                             "0x1F",
                             "1e5",
                             " - 3",
                             "+7}"})
        expectLikeStrtol(text);
}

TEST(ReadLong, agreesWithStrtolOnRandomTexts)
{
    std::mt19937 random(20261208);
    const std::string alphabet = "0123456789999   +-\t\n\v\f\r,{}x.";
    std::uniform_int_distribution<std::size_t> length(0, 30);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int i = 0; i < 200000; ++i) {
        std::string text(length(random), ' ');
        for (char& c : text) c = alphabet[pick(random)];
        expectLikeStrtol(text);
        if (HasFailure()) break;
    }
}

TEST(ReadLong, stopsAtTheEndItIsGiven)
{
    const std::string text = "12345";
    int64_t value = 0;
    EXPECT_EQ(readInteger(text.data(), text.data() + 3, &value), text.data() + 3);
    EXPECT_EQ(value, 123);
    EXPECT_EQ(readInteger(text.data(), text.data(), &value), text.data());
    EXPECT_EQ(value, 0);
    const std::string sign = "-5";
    EXPECT_EQ(readInteger(sign.data(), sign.data() + 1, &value), sign.data());
    EXPECT_EQ(value, 0);
}

TEST(ReadLong, valuesAreCutToTheirFieldWidth)
{
    EXPECT_EQ(lowBits16(65536), 0);
    EXPECT_EQ(lowBits16(32768), -32768);
    EXPECT_EQ(lowBits16(-32769), 32767);
    EXPECT_EQ(lowBits16(LONG_MAX), -1);
    EXPECT_EQ(lowBits8(256 + 31), 31);
    EXPECT_EQ(lowBits8(-1), 255);
    EXPECT_EQ(lowBits32(4294967296L + 5), 5);
    EXPECT_EQ(lowBits32(2147483648L), INT32_MIN);
}

}  // namespace
