// The lexer and parser walked over whole strings: tokens delivered, syntax
// messages, and the state and depth each walk ends in.
#include "IBIS_AMI_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Walk {
    std::vector<std::string> tokens; // text tokens handed to the binder
    std::string messages;            // lexer and parser messages, in order
    int state = AMI_WANT_ITEM;
    int depth = 0;
    int in_quote = 0;
};

Walk walk(const std::string &text, int strict_quotes = 1)
{
    Walk w;
    char buffer[257] = {};
    AmiToken token = {text.c_str(), 0};
    int token_class = AMI_SPACE;
    int ready = 0;
    for (const char *c = text.c_str(); *c; ++c) {
        token_class = AmiLexerNew(c, token_class, w.state, &token, &w.in_quote, &ready, buffer, 256, strict_quotes);
        if (ready == 1 && token_class == AMI_TEXT)
            w.tokens.emplace_back(token.start, token.length);
        w.state = AmiParser(token_class, w.state, &ready, &w.depth, buffer, 256);
        w.messages += buffer;
        std::memset(buffer, 0, sizeof buffer);
    }
    return w;
}

const char kTooManyClose[] = "**Error** Too many close parens in parameter string.\n";
const char kTextWhenParen[] = "**Error** Text encountered in parameter string when '(' or ')' was expected.\n";
const char kOpenWhenText[] = "**Error** '(' encountered in parameter string when text was expected.\n";
const char kCloseWhenText[] = "**Error** ')' encountered in parameter string when text was expected.\n";
const char kCloseWhenValue[] = "**Error** ')' encountered in parameter string when '(' or text was expected.\n";
const char kOpenWhenClose[] = "**Error** '(' encountered in parameter string when ')' was expected.\n";
const char kTooDeep[] = "**Error** Parameter string nested too deeply.\n";

std::string quote_warning(const std::string &rest)
{
    return "**Warning** Ignoring unexpected quote found at " + rest + ".\n";
}

TEST(WellFormed, EndsWantingAnItemAtDepthZero)
{
    for (const char *text : {"(Root (gain 1))", "(Root(gain 1))", " \t(Root\r\n(gain  1)\n)\n", "(Root (a 1)(b (c 2)))"}) {
        const Walk w = walk(text);
        EXPECT_EQ(w.messages, "") << text;
        EXPECT_EQ(w.state, AMI_WANT_ITEM) << text;
        EXPECT_EQ(w.depth, 0) << text;
    }
}

TEST(WellFormed, DeliversNamesAndValuesAsTokens)
{
    const Walk w = walk("(Root (gain 1.5 2) (label \"a (b) c\"))");
    EXPECT_EQ(w.tokens, (std::vector<std::string>{"Root", "gain", "1.5", "2", "label", "a (b) c"}));
    EXPECT_EQ(w.messages, "");
}

TEST(SyntaxErrors, EachIsReportedAtTheTokenThatBreaksTheSyntax)
{
    struct Case {
        const char *text;
        std::string messages;
    };
    const Case cases[] = {
        {"(Root (gain 1)))", kTooManyClose},
        {"Root (gain 1)", kTextWhenParen},
        {"((gain 1))", std::string(kOpenWhenText) + kTooManyClose},
        {"()", kCloseWhenText},
        {"(Root)", kCloseWhenValue},
        {"(Root (gain))", std::string(kCloseWhenValue) + kCloseWhenValue},
        {"(Root (gain 1 (x 2)))", std::string(kOpenWhenClose) + kTooManyClose},
    };
    for (const Case &c : cases)
        EXPECT_EQ(walk(c.text).messages, c.messages) << c.text;
}

TEST(SyntaxErrors, WalkGoesOnInTheStateTheTableGives)
{
    EXPECT_EQ(walk("(Root (gain 1)))").state, AMI_WANT_ITEM);
    EXPECT_EQ(walk("()").state, AMI_WANT_NAME);
    EXPECT_EQ(walk("(Root)").state, AMI_WANT_VALUE);
    const Walk leaf = walk("(Root (gain 1 (x");
    EXPECT_EQ(leaf.state, AMI_IN_VALUE);
    EXPECT_EQ(leaf.depth, 1);
}

TEST(SyntaxErrors, AMessageThatDoesNotFitTheBufferIsDroppedWhole)
{
    char buffer[257] = {};
    const size_t message = std::strlen(kTooManyClose);
    std::memset(buffer, 'x', 256 - message);
    int ready = 1;
    int depth = 0;
    EXPECT_EQ(AmiParser(AMI_CLOSE, AMI_WANT_ITEM, &ready, &depth, buffer, 256), AMI_WANT_ITEM);
    EXPECT_EQ(std::strlen(buffer), 256 - message);
    buffer[255 - message] = '\0'; // now the message ends at the 255th character
    AmiParser(AMI_CLOSE, AMI_WANT_ITEM, &ready, &depth, buffer, 256);
    EXPECT_EQ(std::string(buffer + 255 - message), kTooManyClose);
}

TEST(SyntaxErrors, ParserIgnoresCharactersThatCompleteNoToken)
{
    int ready = 0;
    int depth = 0;
    char buffer[257] = {};
    EXPECT_EQ(AmiParser(AMI_CLOSE, AMI_WANT_ITEM, &ready, &depth, buffer, 256), AMI_WANT_ITEM);
    ready = 1;
    EXPECT_EQ(AmiParser(AMI_SPACE, AMI_WANT_NAME, &ready, &depth, buffer, 256), AMI_WANT_NAME);
    EXPECT_EQ(buffer[0], '\0');
}

// A chain of n branches below the root: (Root (b1 (b2 ... (bn (leaf 1)))...)
std::string nested(int branches)
{
    std::string text = "(Root";
    for (int k = 1; k <= branches; ++k)
        text += " (b" + std::to_string(k);
    text += " (leaf 1)";
    text += std::string(branches + 1, ')');
    return text;
}

TEST(Nesting, FourteenBranchesBelowTheRootAreAccepted)
{
    const Walk w = walk(nested(14));
    EXPECT_EQ(w.messages, "");
    EXPECT_EQ(w.depth, 0);
    EXPECT_EQ(w.state, AMI_WANT_ITEM);
}

TEST(Nesting, AFifteenthBranchIsRefusedAndItsCloseIsOneTooMany)
{
    const Walk w = walk(nested(15));
    EXPECT_EQ(w.messages, std::string(kTooDeep) + kTooManyClose);
    EXPECT_EQ(w.depth, 0);
}

TEST(Quotes, AQuotedValueIsOneTokenWhateverItHolds)
{
    const Walk w = walk("(Root (label \"x (y) \tz\"))");
    EXPECT_EQ(w.tokens.back(), "x (y) \tz");
    EXPECT_EQ(w.messages, "");
}

TEST(Quotes, MisplacedQuotesAreIgnoredWithAWarningQuotingTheRest)
{
    EXPECT_EQ(walk("(Root (gain 1\"))").messages, quote_warning("\"))"));
    EXPECT_EQ(walk("(Root (\"gain\" 1))").messages, quote_warning("\"gain\" 1))") + quote_warning("\" 1))"));
    EXPECT_EQ(walk("(\"Root\" (gain 1))").messages, quote_warning("\"Root\" (gain 1))") + quote_warning("\" (gain 1))"));
}

TEST(Quotes, NonStrictQuotesMayOpenAQuotedName)
{
    const Walk w = walk("(\"Root\" (gain 1))", 0);
    EXPECT_EQ(w.messages, "");
    EXPECT_EQ(w.tokens.front(), "Root");
}

TEST(Quotes, TextAfterAClosingQuoteExtendsTheTokenFromItsStart)
{
    // The class stays text across the quote, so the word after it counts on
    // from the start of the quoted token: "ab" then 'c' makes a token of 3
    // characters from 'a', which spans the closing quote.
    const Walk w = walk("(Root (label \"ab\"c))");
    ASSERT_EQ(w.tokens.size(), 4u);
    EXPECT_EQ(w.tokens[2], "ab");
    EXPECT_EQ(w.tokens[3], "ab\"");
}

TEST(Quotes, EmptyQuotesDeliverNothing)
{
    const Walk w = walk("(Root (label \"\")");
    EXPECT_EQ(w.messages, kCloseWhenValue);
    EXPECT_EQ(w.state, AMI_WANT_VALUE);
    const Walk open = walk("(Root (label \"\")");
    EXPECT_EQ(open.tokens.size(), 2u);
}

TEST(Quotes, TheWarningIsDroppedWhenTheRestIsLongerThan206Characters)
{
    const std::string fits = "(Root (gain 1\"" + std::string(206 - 1, 'x');
    EXPECT_EQ(walk(fits).messages, quote_warning(fits.substr(13)));
    EXPECT_EQ(walk(fits + "x").messages, "");
}

TEST(Quotes, AnUnterminatedQuoteSwallowsTheRestSilently)
{
    const Walk w = walk("(Root (label \"abc) (gain 1))");
    EXPECT_EQ(w.messages, "");
    EXPECT_EQ(w.in_quote, 1);
    EXPECT_EQ(w.tokens.size(), 2u);
}

TEST(FormatKeyword, IsDroppedInNamePositionOnly)
{
    EXPECT_EQ(walk("(Root (Format gain 1))").tokens, (std::vector<std::string>{"Root", "gain", "1"}));
    EXPECT_EQ(walk("(Root (gain Format))").tokens, (std::vector<std::string>{"Root", "gain", "Format"}));
    EXPECT_EQ(walk("(Root (Formats 1))").tokens, (std::vector<std::string>{"Root", "Formats", "1"}));
}

TEST(Lexer, OnlyTabLineFeedCarriageReturnAndSpaceAreWhiteSpace)
{
    const Walk w = walk("(Root (gain \v1\f))");
    EXPECT_EQ(w.tokens.back(), "\v1\f");
}

TEST(Lexer, ControlAndHighBytesAreText)
{
    const Walk w = walk("(Root (g\x01\xc3\xa9 1))");
    EXPECT_EQ(w.tokens[1], "g\x01\xc3\xa9");
}

TEST(Lexer, NullArgumentsAndTheTerminatorAreHarmless)
{
    AmiToken token = {nullptr, 0};
    int in_quote = 0;
    int ready = 1;
    const char end[] = "";
    EXPECT_EQ(AmiLexer(end, AMI_TEXT, AMI_WANT_VALUE, &token, &in_quote, &ready, nullptr, 0), AMI_SPACE);
    EXPECT_EQ(ready, 0);
    EXPECT_EQ(AmiLexer(nullptr, AMI_TEXT, AMI_WANT_VALUE, &token, &in_quote, &ready, nullptr, 0), AMI_TEXT);
    const char quote[] = "\"x";
    EXPECT_EQ(AmiLexer(quote, AMI_TEXT, AMI_WANT_VALUE, &token, &in_quote, &ready, nullptr, 256), AMI_TEXT);
}

} // namespace
