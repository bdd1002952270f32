// GrowTree, print_array and EchoTree: the written parameter string, and the
// round trip of writing, binding and writing again.
#include "root_tree.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

TEST(Writer, ATreeWithNoEntriesIsItsNameInParentheses)
{
    AmiTree tree = {"Empty", 0, nullptr};
    EXPECT_EQ(take(GrowTree(tree)), "(Empty)");
}

TEST(Writer, ScalarsUseTheirFormats)
{
    AmiEntry entries[7] = {{"a", AMI_DOUBLE, {}}, {"b", AMI_DOUBLE, {}}, {"c", AMI_DOUBLE, {}}, {"d", AMI_SHORT, {}},
                           {"e", AMI_LONG, {}},   {"f", AMI_INT, {}},    {"g", AMI_CHAR, {}}};
    entries[0].value.d = 0.03125;
    entries[1].value.d = 2e-11;
    entries[2].value.d = 3.14159265;
    entries[3].value.s = -5;
    entries[4].value.l = LONG_MIN;
    entries[5].value.i = -7;
    entries[6].value.c = 'z';
    AmiTree tree = {"T", 7, entries};
    EXPECT_EQ(take(GrowTree(tree)), "(T(a 0.03125)(b 2e-11)(c 3.14159)(d -5)(e " + std::to_string(LONG_MIN) +
                                        ")(f -7)(g z))");
}

TEST(Writer, BranchesFollowTheirSiblingsDirectly)
{
    AmiEntry loop_entries[1] = {{"x", AMI_DOUBLE, {}}};
    loop_entries[0].value.d = 0.5;
    AmiTree loop = {"loop", 1, loop_entries};
    AmiEntry entries[2] = {{"mode", AMI_INT, {}}, {"loop", AMI_TREE, {}}};
    entries[0].value.i = 2;
    entries[1].value.tree = &loop;
    AmiTree tree = {"Root", 2, entries};
    EXPECT_EQ(take(GrowTree(tree)), "(Root(mode 2)(loop(x 0.5)))");
}

TEST(Writer, StringsAreQuotedAndNotEscaped)
{
    AmiEntry entries[2] = {{"s", AMI_STRING, {}}, {"none", AMI_STRING, {}}};
    char value[] = "say \"hi\"";
    entries[0].value.str = value;
    AmiTree tree = {"T", 2, entries};
    EXPECT_EQ(take(GrowTree(tree)), "(T(s \"say \"hi\"\")(none \"\"))");
}

TEST(Writer, EmptyArraysAndUnknownCodesAreLeftOut)
{
    AmiArray empty = {AMI_DOUBLE_ARRAY, 0, nullptr};
    AmiEntry entries[3] = {{"taps", AMI_DOUBLE_ARRAY, {}}, {"odd", 11, {}}, {"n", AMI_INT, {}}};
    entries[0].value.array = &empty;
    entries[2].value.i = 1;
    AmiTree tree = {"T", 3, entries};
    EXPECT_EQ(take(GrowTree(tree)), "(T(n 1))");
}

TEST(Writer, ANullCharacterIsWrittenAsNoCharacter)
{
    AmiEntry entries[1] = {{"c", AMI_CHAR, {}}};
    entries[0].value.c = '\0';
    AmiTree tree = {"T", 1, entries};
    EXPECT_EQ(take(GrowTree(tree)), "(T(c ))");
}

TEST(PrintArray, WritesEachTypeWithItsFormat)
{
    int ints[3] = {1, 2, 3};
    long longs[2] = {LONG_MAX, -1};
    short shorts[2] = {-5, 32767};
    double doubles[2] = {1.5, 1e100};
    EXPECT_EQ(take(print_array("taps", {AMI_INT_ARRAY, 3, ints})), "(taps 1 2 3)");
    EXPECT_EQ(take(print_array("l", {AMI_LONG_ARRAY, 2, longs})), "(l " + std::to_string(LONG_MAX) + " -1)");
    EXPECT_EQ(take(print_array("s", {AMI_SHORT_ARRAY, 2, shorts})), "(s -5 32767)");
    EXPECT_EQ(take(print_array("d", {AMI_DOUBLE_ARRAY, 2, doubles})), "(d 1.5 1e+100)");
    EXPECT_EQ(print_array("none", {AMI_INT_ARRAY, 0, nullptr}), nullptr);
}

TEST(PrintArray, ANameLongerThanTheOldScratchSpaceIsWrittenWhole)
{
    const std::string name(1000, 'n');
    int one = 1;
    EXPECT_EQ(take(print_array(name.c_str(), {AMI_INT_ARRAY, 1, &one})), "(" + name + " 1)");
}

TEST(PrintArrayDeathTest, ATypeOutsideTheArrayCodesStopsTheProcess)
{
    int one = 1;
    EXPECT_DEATH(print_array("x", {AMI_STRING, 1, &one}), "");
}

TEST(RoundTrip, WritingBindingAndWritingAgainGivesTheSameText)
{
    RootTree first;
    bind("(Root (gain 1.25) (mode -3) (label word) (taps 0.5 -0.25 1e-12) (loop (x 7) (n 0x20)) (step 3))",
         first.tree);
    const std::string written = take(GrowTree(first.tree));
    EXPECT_EQ(written, "(Root(gain 1.25)(mode -3)(label \"word\")(taps 0.5 -0.25 1e-12)(loop(x 7)(n 32))(step 3))");

    RootTree second;
    const Bound b = bind(written.c_str(), second.tree);
    EXPECT_EQ(b.message, "");
    EXPECT_EQ(b.configured, 9);
    EXPECT_EQ(take(GrowTree(second.tree)), written);
}

class EchoTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/echo_tree_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        ASSERT_EQ(chdir(directory_.c_str()), 0);
    }
    void TearDown() override
    {
        unlink((directory_ + "/nerova_echo_param.txt").c_str());
        rmdir(directory_.c_str());
    }
    static std::string file_text()
    {
        std::ifstream in("nerova_echo_param.txt", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string directory_;
};

TEST_F(EchoTreeTest, TheSecondTextReplacesTheFirst)
{
    EXPECT_EQ(EchoTree("(Root (gain 1))\n(longer text)"), 0);
    EXPECT_EQ(EchoTree("(Root)"), 0);
    EXPECT_EQ(file_text(), "(Root)");
    EXPECT_EQ(EchoTree(nullptr), 0);
    EXPECT_EQ(file_text(), "");
}

TEST_F(EchoTreeTest, AFileThatCannotBeOpenedIsReported)
{
    ASSERT_EQ(mkdir("nerova_echo_param.txt", 0700), 0); // a directory stands in the way
    EXPECT_NE(EchoTree("text"), 0);
    rmdir("nerova_echo_param.txt");
}

} // namespace
