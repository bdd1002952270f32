// The message buffer's fit rule, string_cat, and the value-list helpers.
#include "IBIS_AMI_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct MessageBuffer {
    char text[257] = {};
    std::string str() const { return text; }
};

TEST(MessageBuffer, WarningFitsUpTo243CharactersOnAnEmptyBuffer)
{
    MessageBuffer fits, too_long;
    EXPECT_EQ(WarnPrt(fits.text, 256, std::string(243, 'w').c_str()), 1);
    EXPECT_EQ(fits.str(), "**Warning** " + std::string(243, 'w'));
    EXPECT_EQ(WarnPrt(too_long.text, 256, std::string(244, 'w').c_str()), 0);
    EXPECT_EQ(too_long.str(), "");
}

TEST(MessageBuffer, ErrorFitsUpTo245Characters)
{
    MessageBuffer fits, too_long;
    ErrPrt(fits.text, 256, std::string(245, 'e').c_str());
    ErrPrt(too_long.text, 256, std::string(246, 'e').c_str());
    EXPECT_EQ(fits.str().size(), 255u);
    EXPECT_EQ(too_long.str(), "");
}

TEST(MessageBuffer, EachCallAddsItsPrefixAndATooLongOneIsDroppedWhole)
{
    MessageBuffer m;
    ErrPrt(m.text, 256, "first\n");
    ErrPrt(m.text, 256, "second\n");
    WarnPrt(m.text, 256, std::string(300, 'x').c_str());
    WarnPrt(m.text, 256, "third\n\n");
    EXPECT_EQ(m.str(), "**Error** first\n**Error** second\n**Warning** third\n\n");
}

TEST(MessageBuffer, NullArgumentsAndTinyCapacitiesAreHarmless)
{
    MessageBuffer m;
    EXPECT_EQ(WarnPrt(nullptr, 256, "x"), 0);
    EXPECT_EQ(ErrPrt(m.text, 0, "x"), 0);
    EXPECT_EQ(ErrPrt(m.text, -5, "x"), 0);
    EXPECT_EQ(WarnPrt(m.text, 256, nullptr), 1);
    EXPECT_EQ(m.str(), "**Warning** ");
}

TEST(StringCat, ConsumesTheFirstTextAndCopiesTheSecond)
{
    EXPECT_EQ(string_cat(nullptr, nullptr), nullptr);
    char *text = string_cat(nullptr, "abc");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(string_cat(text, nullptr), text);
    text = string_cat(text, "def");
    text = string_cat(text, "");
    EXPECT_STREQ(text, "abcdef");
    std::free(text);
}

std::vector<double> values_of(const char *text)
{
    int count = -1;
    double *values = string2DoubleArray(text, &count);
    EXPECT_NE(values, nullptr);
    std::vector<double> result(values, values + count);
    std::free(values);
    return result;
}

TEST(ValueLists, NumbersStartingWordsAreRead)
{
    EXPECT_EQ(values_of("1.5, 2 ,3"), (std::vector<double>{1.5, 2, 3}));
    EXPECT_EQ(values_of("\"4\" \"-5e1\""), (std::vector<double>{4, -50}));
    EXPECT_EQ(values_of("1 x 2"), (std::vector<double>{1, 2}));
    EXPECT_EQ(values_of("12abc"), (std::vector<double>{12}));
    EXPECT_EQ(values_of("(1 2)"), (std::vector<double>{2}));
    EXPECT_EQ(values_of(""), (std::vector<double>{}));
    EXPECT_EQ(values_of(nullptr), (std::vector<double>{}));
}

TEST(ValueLists, AtMost512ValuesAreKept)
{
    std::string list;
    for (int i = 0; i < 600; ++i)
        list += std::to_string(i) + " ";
    const std::vector<double> values = values_of(list.c_str());
    ASSERT_EQ(values.size(), 512u);
    EXPECT_EQ(values.front(), 0.0);
    EXPECT_EQ(values.back(), 511.0);
}

TEST(ValueLists, SizeCountsWordsWhetherOrNotTheyAreNumbers)
{
    EXPECT_EQ(stringArraySize("1 x 2"), 3);
    EXPECT_EQ(stringArraySize(" ,\t\"a\"\r\nb,,c "), 3);
    EXPECT_EQ(stringArraySize(""), 0);
    EXPECT_EQ(stringArraySize(nullptr), 0);
}

} // namespace
