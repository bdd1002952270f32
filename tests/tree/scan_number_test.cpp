// Parameter values are read with the syntax and results of the scanf
// conversions "%lf", "%li", "%i" and "%hi", checked against scanf itself.
#include "scan_number.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Tokens as they stand in a parameter string, each followed by a delimiter.
const char *const kTokens[] = {
    "0",      "-0",      "+7",       "42)",      "3.25 ",   "-1e-3)",    "1e",       "1e+",     ".5",
    "5.",     "-.5e2",   "0x1A",     "0X1a",     "0x",      "0xg",       "-0x10",    "010",     "08",
    "0",      "12abc",   "abc",      "-",        "+",       ".",         "\v 9",     "\f-3",    "inf",
    "-INF",   "nan",     "infinity", "0x1p4",    "1e400",   "-1e400",    "1e-400",   "2147483647",
    "32767",  "-32768",  "007",      "0b101",    "1,5",     "1.5.5",     "--1",      "+-1",     "e5",
    "0x.",    "0x.8",    "0xp3",     "-0x",      "0x1p",    "0X",        "0x 1",     "+0x",     " 0x",
};

TEST(ScanNumber, DoublesMatchScanf)
{
    for (const char *token : kTokens) {
        double expected = -12345.0, actual = -12345.0;
        const bool scanned = std::sscanf(token, "%lf", &expected) == 1;
        EXPECT_EQ(ami::scan_double(token, &actual), scanned) << token;
        if (!scanned)
            continue;
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(actual)) << token;
        } else {
            EXPECT_EQ(actual, expected) << token;
        }
    }
}

TEST(ScanNumber, IntegersInRangeMatchScanf)
{
    for (const char *token : kTokens) {
        long expected_long = -12345, actual_long = -12345;
        int expected_int = -12345, actual_int = -12345;
        short expected_short = -1234, actual_short = -1234;
        const bool long_scanned = std::sscanf(token, "%li", &expected_long) == 1;
        EXPECT_EQ(ami::scan_long(token, &actual_long), long_scanned) << token;
        EXPECT_EQ(actual_long, expected_long) << token;
        // Beyond an int or a short, scanf's result is undefined; the reader
        // clamps instead (tested with the binder).
        if (expected_long < INT_MIN || expected_long > INT_MAX)
            continue;
        const bool int_scanned = std::sscanf(token, "%i", &expected_int) == 1;
        EXPECT_EQ(ami::scan_int(token, &actual_int), int_scanned) << token;
        EXPECT_EQ(actual_int, expected_int) << token;
        if (expected_long < SHRT_MIN || expected_long > SHRT_MAX)
            continue;
        const bool short_scanned = std::sscanf(token, "%hi", &expected_short) == 1;
        EXPECT_EQ(ami::scan_short(token, &actual_short), short_scanned) << token;
        EXPECT_EQ(actual_short, expected_short) << token;
    }
}

TEST(ScanNumber, StopsAtTheTerminator)
{
    const char digits[] = {'1', '2', '\0', '3'};
    int value = 0;
    ASSERT_TRUE(ami::scan_int(digits, &value));
    EXPECT_EQ(value, 12);
    double d = 0;
    EXPECT_FALSE(ami::scan_double("", &d));
    EXPECT_FALSE(ami::scan_double("   ", &d));
}

} // namespace
