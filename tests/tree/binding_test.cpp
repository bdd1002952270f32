// ParseTree: what a parameter string binds, what it counts and what it reports.
#include "root_tree.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string not_converted(const std::string &name)
{
    return "**Error** Could not convert value for " + name + ".\n";
}

std::string extra_text(const std::string &name)
{
    return "**Warning** Extra white space and text encountered in value for " + name + ".\n" + not_converted(name);
}

TEST(Binding, EmptyOrNullStringBindsNothingAndLeavesTheMessageNull)
{
    RootTree root;
    for (const char *text : {"", static_cast<const char *>(nullptr)}) {
        const Bound b = bind(text, root.tree);
        EXPECT_EQ(b.configured, 0);
        EXPECT_FALSE(b.has_message);
    }
}

TEST(Binding, CountsEachStoredValue)
{
    RootTree root;
    const Bound b = bind("(Root (gain 1) (mode 2))", root.tree);
    EXPECT_EQ(b.configured, 2);
    EXPECT_FALSE(b.has_message);
    EXPECT_EQ(root.gain(), 1.0);
    EXPECT_EQ(root.mode(), 2);
}

TEST(Binding, BindsIntoBranches)
{
    RootTree root;
    const Bound b = bind("(Root (loop (x 0.5) (n 32)) (mode 2))", root.tree);
    EXPECT_EQ(b.configured, 3);
    EXPECT_EQ(root.loop_entries[0].value.d, 0.5);
    EXPECT_EQ(root.loop_entries[1].value.i, 32);
    EXPECT_EQ(root.mode(), 2);
}

TEST(Binding, NamesMatchExactlyAndCaseSensitively)
{
    RootTree root;
    for (const char *text : {"(Other (gain 1))", "(root (gain 1))", "(Root (ste 1))", "(Root (steps 1))",
                             "(Root (zz 5))", "(Root (GAIN 3))"}) {
        const Bound b = bind(text, root.tree);
        EXPECT_EQ(b.configured, 0) << text;
        EXPECT_EQ(b.message, "") << text;
    }
    EXPECT_EQ(root.gain(), 0.5);
    EXPECT_EQ(root.step(), 0.25);
}

TEST(Binding, UndeclaredItemsAreSkippedWithAllTheirChildren)
{
    RootTree root;
    const Bound b = bind("(Root (other (gain 9) (mode 9)) (gain 2))", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_EQ(b.message, "");
    EXPECT_EQ(root.gain(), 2.0);
    EXPECT_EQ(root.mode(), 7);
}

TEST(Binding, EntriesOfALevelAreNotVisibleFromAnother)
{
    RootTree root;
    EXPECT_EQ(bind("(Root (loop (gain 9)) (x 9))", root.tree).configured, 0);
    EXPECT_EQ(root.gain(), 0.5);
    EXPECT_EQ(root.loop_entries[0].value.d, 1.0);
}

TEST(Binding, SeveralRootItemsAllBind)
{
    RootTree root;
    const Bound b = bind("(Root (gain 1)) (Root (gain 2))", root.tree);
    EXPECT_EQ(b.configured, 2);
    EXPECT_EQ(root.gain(), 2.0);
}

TEST(Binding, AStringEndingInsideAnItemBindsWhatCameBefore)
{
    RootTree root;
    const Bound b = bind("(Root (gain 1)", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_FALSE(b.has_message);
    EXPECT_EQ(bind("(Root (label \"never closed", root.tree).configured, 0);
}

TEST(Binding, FormatInNamePositionIsSkipped)
{
    RootTree root;
    const Bound b = bind("(Root (Format gain 1))", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_EQ(b.message, "");
    EXPECT_EQ(root.gain(), 1.0);
}

TEST(Conversions, UnconvertibleValueKeepsTheOldValueAndReports)
{
    RootTree root;
    const Bound b = bind("(Root (gain abc))", root.tree);
    EXPECT_EQ(b.configured, 0);
    EXPECT_EQ(b.message, not_converted("gain"));
    EXPECT_EQ(root.gain(), 0.5);
}

TEST(Conversions, IntegersAcceptSignAndBasePrefixesAndStopAtJunk)
{
    const struct {
        const char *value;
        int expected;
    } cases[] = {{"0x10", 16}, {"010", 8}, {"12abc", 12}, {"-42", -42}, {"+5", 5}, {"-0x1F", -31}, {"09", 0}};
    for (const auto &c : cases) {
        RootTree root;
        const std::string text = std::string("(Root (mode ") + c.value + "))";
        const Bound b = bind(text.c_str(), root.tree);
        EXPECT_EQ(b.configured, 1) << c.value;
        EXPECT_EQ(root.mode(), c.expected) << c.value;
    }
}

TEST(Conversions, IntegersBeyondTheirTypeAreClampedOnEveryWidth)
{
    RootTree root;
    bind("(Root (mode 4294967297))", root.tree);
    EXPECT_EQ(root.mode(), INT_MAX);
    bind("(Root (mode -99999999999))", root.tree);
    EXPECT_EQ(root.mode(), INT_MIN);

    AmiEntry entries[2] = {{"s", AMI_SHORT, {}}, {"l", AMI_LONG, {}}};
    AmiTree tree = {"T", 2, entries};
    EXPECT_EQ(ParseTree("(T (s 70000) (l 99999999999999999999))", tree, nullptr), 2);
    EXPECT_EQ(entries[0].value.s, SHRT_MAX);
    EXPECT_EQ(entries[1].value.l, LONG_MAX);
    EXPECT_EQ(ParseTree("(T (s -0x8000))", tree, nullptr), 1);
    EXPECT_EQ(entries[0].value.s, SHRT_MIN);
}

TEST(Conversions, DoublesReadAsFarAsTheNumberGoes)
{
    RootTree root;
    EXPECT_EQ(bind("(Root (gain 2.5e-3x) (step -1E2))", root.tree).configured, 2);
    EXPECT_EQ(root.gain(), 2.5e-3);
    EXPECT_EQ(root.step(), -100.0);
}

TEST(Conversions, QuotedNumberIsScannedLikeAWord)
{
    RootTree root;
    const Bound b = bind("(Root (gain \"1.5 2.5\"))", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_EQ(root.gain(), 1.5);
}

TEST(Conversions, CharTakesTheFirstCharacter)
{
    AmiEntry entries[1] = {{"c", AMI_CHAR, {}}};
    AmiTree tree = {"T", 1, entries};
    EXPECT_EQ(ParseTree("(T (c xyz))", tree, nullptr), 1);
    EXPECT_EQ(entries[0].value.c, 'x');
}

TEST(Conversions, ExtraTextAfterAScalarIsReportedAndTheFirstValueStays)
{
    RootTree root;
    const Bound b = bind("(Root (gain 1 2))", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_EQ(root.gain(), 1.0);
    EXPECT_EQ(b.message, extra_text("gain"));
}

TEST(Strings, AQuotedValueKeepsItsWordsAndSpaces)
{
    RootTree root;
    EXPECT_EQ(bind("(Root (label \"two  words\"))", root.tree).configured, 1);
    EXPECT_STREQ(root.label(), "two  words");
}

TEST(Strings, UnquotedWordsStoreTheFirstAndReportTheRest)
{
    RootTree root;
    const Bound b = bind("(Root (label two words))", root.tree);
    EXPECT_EQ(b.configured, 1);
    EXPECT_STREQ(root.label(), "two");
    EXPECT_EQ(b.message, extra_text("label"));
}

TEST(Strings, ALaterValueReplacesTheEarlierCopy)
{
    RootTree root;
    EXPECT_EQ(bind("(Root (label first) (label \"second one\"))", root.tree).configured, 2);
    EXPECT_STREQ(root.label(), "second one");
}

TEST(Arrays, EachValueTokenAppendsAnElement)
{
    RootTree root;
    const Bound b = bind("(Root (taps 1 2 3))", root.tree);
    EXPECT_EQ(b.configured, 3);
    ASSERT_EQ(root.taps.count, 3);
    EXPECT_EQ(root.tap(0), 1.0);
    EXPECT_EQ(root.tap(2), 3.0);
}

TEST(Arrays, AnUnconvertibleElementIsLeftOutAndReported)
{
    RootTree root;
    const Bound b = bind("(Root (taps 1 x 3))", root.tree);
    EXPECT_EQ(b.configured, 2);
    EXPECT_EQ(b.message, not_converted("taps"));
    ASSERT_EQ(root.taps.count, 2);
    EXPECT_EQ(root.tap(0), 1.0);
    EXPECT_EQ(root.tap(1), 3.0);
}

TEST(Arrays, DeclaredElementsStayInFrontAndItemsAccumulate)
{
    RootTree root;
    root.taps.data = std::malloc(2 * sizeof(double));
    static_cast<double *>(root.taps.data)[0] = -1.0;
    static_cast<double *>(root.taps.data)[1] = -2.0;
    root.taps.count = 2;
    EXPECT_EQ(bind("(Root (taps 1) (taps 2 3))", root.tree).configured, 3);
    ASSERT_EQ(root.taps.count, 5);
    EXPECT_EQ(root.tap(0), -1.0);
    EXPECT_EQ(root.tap(1), -2.0);
    EXPECT_EQ(root.tap(4), 3.0);
}

TEST(Arrays, AddToArrayConvertsByTheElementType)
{
    AmiArray longs = {AMI_LONG_ARRAY, 0, nullptr};
    AmiArray shorts = {AMI_SHORT_ARRAY, 0, nullptr};
    EXPECT_EQ(AddToArray("0x7fffffff)", 99, AMI_LONG_ARRAY, &longs), 1);
    EXPECT_EQ(AddToArray("-3 4", 2, AMI_SHORT_ARRAY, &shorts), 1);
    EXPECT_EQ(AddToArray("y", 1, AMI_SHORT_ARRAY, &shorts), 0);
    EXPECT_EQ(static_cast<long *>(longs.data)[0], 0x7fffffffL);
    ASSERT_EQ(shorts.count, 1);
    EXPECT_EQ(static_cast<short *>(shorts.data)[0], -3);
    std::free(longs.data);
    std::free(shorts.data);
}

TEST(Arrays, AFailedFirstConversionLeavesTheArrayEmpty)
{
    AmiArray ints = {AMI_INT_ARRAY, 0, nullptr};
    EXPECT_EQ(AddToArray("none", 4, AMI_INT_ARRAY, &ints), 0);
    EXPECT_EQ(ints.count, 0);
    EXPECT_EQ(ints.data, nullptr);
}

TEST(ArraysDeathTest, ATypeOutsideTheArrayCodesStopsTheProcess)
{
    AmiArray array = {AMI_DOUBLE_ARRAY, 0, nullptr};
    EXPECT_DEATH(AddToArray("1", 1, AMI_STRING, &array), "");
}

TEST(Placement, ABranchGivenAValueIsReported)
{
    RootTree root;
    const Bound b = bind("(Root (loop 5))", root.tree);
    EXPECT_EQ(b.configured, 0);
    EXPECT_EQ(b.message, not_converted("loop"));
}

TEST(Placement, ChildItemsUnderALeafAreReportedAndSkipped)
{
    RootTree root;
    const Bound b = bind("(Root (step (mode 1)))", root.tree);
    EXPECT_EQ(b.configured, 0);
    EXPECT_EQ(b.message, "**Error** '(' encountered in parameter string when value for step was expected.\n");
    EXPECT_EQ(root.mode(), 7);
    EXPECT_EQ(root.step(), 0.25);
}

TEST(Placement, SyntaxMessagesComeWithAnExtraLineFeedAndBindingGoesOn)
{
    RootTree root;
    const Bound b = bind("(Root (gain 1 (mode 2))) (Root (mode 3))", root.tree);
    EXPECT_EQ(b.message, "**Error** '(' encountered in parameter string when ')' was expected.\n\n" +
                             extra_text("gain") + extra_text("gain") +
                             "**Error** Too many close parens in parameter string.\n\n");
    EXPECT_EQ(root.gain(), 1.0);
    EXPECT_EQ(root.mode(), 3);
    EXPECT_EQ(b.configured, 2);
}

// One message per syntax error, up to a cap: a megabyte of ')' gives the first
// thousand and one line with the count of the rest.
TEST(Placement, MessagesStopAtAThousandAndTheRestAreCounted)
{
    RootTree root;
    std::string line;
    for (int i = 0; i < 1000; ++i)
        line += "**Error** Too many close parens in parameter string.\n\n";
    const std::string closes(1 << 20, ')');
    EXPECT_EQ(bind(closes.c_str(), root.tree).message,
              line + "**Warning** 1047576 more messages about the parameter string were dropped.\n");
    EXPECT_EQ(bind(closes.substr(0, 1000).c_str(), root.tree).message, line);
}

TEST(Placement, NamesLongerThanTheMessageBufferAreReportedWhole)
{
    const std::string name(400, 'n');
    AmiEntry entries[1] = {{name.c_str(), AMI_INT, {}}};
    AmiTree tree = {"T", 1, entries};
    const std::string text = "(T (" + name + " bad))";
    const Bound b = bind(text.c_str(), tree);
    EXPECT_EQ(b.message, not_converted(name));
}

TEST(FreeTree, ReleasesStringsAndArraysAndLeavesThemEmpty)
{
    RootTree root;
    bind("(Root (label abc) (taps 1 2))", root.tree);
    FreeTree(root.tree);
    EXPECT_EQ(root.label(), nullptr);
    EXPECT_EQ(root.taps.count, 0);
    EXPECT_EQ(root.taps.data, nullptr);
    FreeTree(root.tree); // a second release finds nothing to free
}

TEST(FreeTree, RecursesIntoBranches)
{
    AmiEntry inner[1] = {{"s", AMI_STRING, {}}};
    AmiTree branch = {"b", 1, inner};
    AmiEntry outer[2] = {{"b", AMI_TREE, {}}, {"odd", 42, {}}};
    outer[0].value.tree = &branch;
    AmiTree tree = {"T", 2, outer};
    EXPECT_EQ(ParseTree("(T (b (s text)))", tree, nullptr), 1);
    EXPECT_STREQ(inner[0].value.str, "text");
    FreeTree(tree);
    EXPECT_EQ(inner[0].value.str, nullptr);
}

} // namespace
