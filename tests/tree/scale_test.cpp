// Binding cost stays proportional to the string's length: megabyte strings of
// values, of unconvertible values and of misplaced quotes bind in well under
// the time a quadratic walk would need.
#include "root_tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

// A quadratic walk over these strings takes minutes; a linear one takes
// milliseconds, even under the sanitizers.
constexpr double kBudgetSeconds = 5.0;

template <typename F> double seconds_for(F &&f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string array_item(int values, const std::string &value)
{
    std::string text = "(Root (taps";
    for (int i = 0; i < values; ++i)
        text += " " + value;
    return text + "))";
}

TEST(Scale, AMegabyteOfArrayValuesBindsInLinearTime)
{
    const std::string text = array_item(100000, "1.2345e-3");
    ASSERT_GT(text.size(), 1000000u);
    RootTree root;
    Bound b;
    EXPECT_LT(seconds_for([&] { b = bind(text.c_str(), root.tree); }), kBudgetSeconds);
    EXPECT_EQ(b.configured, 100000);
    ASSERT_EQ(root.taps.count, 100000);
    EXPECT_EQ(root.tap(99999), 1.2345e-3);
}

TEST(Scale, AHundredThousandErrorsAreCountedAndTheFirstThousandReported)
{
    const std::string text = array_item(100000, "bad");
    RootTree root;
    Bound b;
    EXPECT_LT(seconds_for([&] { b = bind(text.c_str(), root.tree); }), kBudgetSeconds);
    const std::string one = "**Error** Could not convert value for taps.\n";
    const std::string dropped = "**Warning** 99000 more messages about the parameter string were dropped.\n";
    EXPECT_EQ(b.configured, 0);
    EXPECT_EQ(b.message.size(), one.size() * 1000 + dropped.size());
    EXPECT_TRUE(b.message.ends_with(one + dropped));
}

TEST(Scale, QuoteWarningsOverAMegabyteStringStayCheapAndFitTheirBuffer)
{
    // Each misplaced quote would quote the rest of the string: only those
    // within 206 characters of the end fit the message buffer.
    std::string text = "(Root (gain 1)";
    for (int i = 0; i < 100000; ++i)
        text += " (x y\"z)";
    text += ")";
    RootTree root;
    Bound b;
    EXPECT_LT(seconds_for([&] { b = bind(text.c_str(), root.tree); }), kBudgetSeconds);
    EXPECT_EQ(b.configured, 1);
    std::string expected;
    for (size_t at = text.find('"', text.size() - 206); at != std::string::npos; at = text.find('"', at + 1))
        expected += "**Warning** Ignoring unexpected quote found at " + text.substr(at) + ".\n\n";
    EXPECT_EQ(b.message, expected);
}

TEST(Scale, AMegabyteStringValueIsCopiedWhole)
{
    const std::string value(1 << 20, 'v');
    const std::string text = "(Root (label \"" + value + "\"))";
    RootTree root;
    EXPECT_EQ(bind(text.c_str(), root.tree).configured, 1);
    EXPECT_EQ(std::string(root.label()), value);
    EXPECT_EQ(take(GrowTree(root.tree)), "(Root(gain 0.5)(mode 7)(label \"" + value + "\")(loop(x 1)(n 3))(step 0.25))");
}

} // namespace
