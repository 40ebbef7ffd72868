// The one parser of whole numbers from outside: what it takes, what it refuses and the line it
// gives, at the edges of 32 and 64 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/parse_int.h"

namespace {

constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();

TEST(ParseInt, TakesWholeNumbersWithinTheRange) {
    struct Case {
        const char* text;
        std::int64_t min, max, expected;
    };
    const Case cases[] = {
        {"0", 0, 100, 0},
        {"100", 0, 100, 100},
        {"+7", 0, 100, 7},
        {"-0", 0, 100, 0},
        {"007", 0, 100, 7},
        {"2147483647", kI32Min, kI32Max, kI32Max},
        {"-2147483648", kI32Min, kI32Max, kI32Min},
        {"-2147483548", kI32Min, kI32Max, -2147483548},
        {"9223372036854775807", kI64Min, kI64Max, kI64Max},
        {"-9223372036854775808", kI64Min, kI64Max, kI64Min},
        {"00000000000000000000000000042", 0, 100, 42},
    };
    for (const Case& c : cases) {
        std::int64_t value = -1;
        std::string error;
        EXPECT_TRUE(kinetra::ParseInt(c.text, c.min, c.max, &value, &error)) << c.text << error;
        EXPECT_EQ(value, c.expected) << c.text;
        EXPECT_TRUE(error.empty()) << c.text;
    }
}

TEST(ParseInt, RefusesEverythingElseWithALineThatSaysWhat) {
    struct Case {
        std::string text;
        std::int64_t min, max;
        const char* line;
    };
    const Case cases[] = {
        {"", 0, kI32Max, "an empty value is not a whole number from 0 to 2147483647"},
        {"abc", 0, kI32Max, "\"abc\" is not a whole number from 0 to 2147483647"},
        {"1e3", 0, kI32Max, "\"1e3\" is not a whole number from 0 to 2147483647"},
        {"99999999999", 0, kI32Max, "\"99999999999\" is not a whole number from 0 to 2147483647"},
        {"2147483648", 0, kI32Max, "\"2147483648\" is not a whole number from 0 to 2147483647"},
        {"-1", 0, 100, "\"-1\" is not a whole number from 0 to 100"},
        {"-2147483649", kI32Min, kI32Max,
         "\"-2147483649\" is not a whole number from -2147483648 to 2147483647"},
        {"9223372036854775808", kI64Min, kI64Max,
         "\"9223372036854775808\" is not a whole number from -9223372036854775808 to "
         "9223372036854775807"},
        {"-9223372036854775809", kI64Min, kI64Max,
         "\"-9223372036854775809\" is not a whole number from -9223372036854775808 to "
         "9223372036854775807"},
        {"184467440737095516160", kI64Min, kI64Max,  // 2^64 * 10: wraps to 0 in 64 bits
         "\"184467440737095516160\" is not a whole number from -9223372036854775808 to "
         "9223372036854775807"},
        {" 5", 0, 100, "\" 5\" is not a whole number from 0 to 100"},
        {"5 ", 0, 100, "\"5 \" is not a whole number from 0 to 100"},
        {"+", 0, 100, "\"+\" is not a whole number from 0 to 100"},
        {"-", 0, 100, "\"-\" is not a whole number from 0 to 100"},
        {"+-5", 0, 100, "\"+-5\" is not a whole number from 0 to 100"},
        {"0x10", 0, 100, "\"0x10\" is not a whole number from 0 to 100"},
        {"20.5", 0, 100, "\"20.5\" is not a whole number from 0 to 100"},
        {std::string("5\0"
                     "5",
                     3),
         0, 100, "\"5?5\" is not a whole number from 0 to 100"},
        {"\x1b[31m", 0, 100, "\"?[31m\" is not a whole number from 0 to 100"},
        {std::string(50, '7'), 0, 100,
         "\"7777777777777777777777777777777777777777...\" is not a whole number from 0 to 100"},
    };
    for (const Case& c : cases) {
        std::int64_t value = 1234;
        std::string error;
        EXPECT_FALSE(kinetra::ParseInt(c.text, c.min, c.max, &value, &error)) << c.text;
        EXPECT_EQ(value, 1234) << c.text;  // untouched
        EXPECT_EQ(error, c.line);
        EXPECT_FALSE(kinetra::ParseInt(c.text, c.min, c.max, &value, nullptr)) << c.text;
    }
}

TEST(ParseInt, ThirtyTwoBitResults) {
    std::int32_t value = 0;
    EXPECT_TRUE(kinetra::ParseInt32("-2147483648", kI32Min, kI32Max, &value, nullptr));
    EXPECT_EQ(value, kI32Min);
    EXPECT_FALSE(kinetra::ParseInt32("4294967296", kI32Min, kI32Max, &value, nullptr));
    EXPECT_EQ(value, kI32Min);
}

}  // namespace
