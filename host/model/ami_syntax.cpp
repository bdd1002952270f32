// Tokenizer and recursive-descent parser of the parenthesised syntax.
#include "model/ami_syntax.h"

#include "base/host_error.h"

namespace ami_host {

namespace {

[[noreturn]] void fail(const std::string &origin, int line, const std::string &message)
{
    throw Error(origin + ":" + std::to_string(line) + ": " + message);
}

// Far deeper than any parameters nest, and shallow enough that the recursion
// cannot exhaust the stack.
constexpr int deepest_item = 100;

// Recursive-descent parser over the characters of one file.
class SyntaxParser {
public:
    SyntaxParser(const std::string &text, const std::string &origin) : text_(text), origin_(origin) {}

    AmiNode parse()
    {
        skip_blanks();
        if (at_end())
            fail(origin_, line_, "the file holds no parameter tree");
        if (text_[pos_] != '(')
            fail(origin_, line_, "expected '(' to open the model's root item");
        AmiNode root = parse_item(1);
        skip_blanks();
        if (!at_end())
            fail(origin_, line_, "text after the end of the root item");
        return root;
    }

private:
    const std::string &text_;
    const std::string &origin_;
    size_t pos_ = 0;
    int line_ = 1;

    bool at_end() const { return pos_ >= text_.size(); }

    static bool is_delimiter(char c)
    {
        return c == '(' || c == ')' || c == '"' || c == '|' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
    }

    void skip_blanks()
    {
        while (!at_end()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '|') {
                while (!at_end() && text_[pos_] != '\n')
                    ++pos_;
            } else {
                return;
            }
        }
    }

    std::string word()
    {
        const size_t start = pos_;
        while (!at_end() && !is_delimiter(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::string quoted()
    {
        const int opened = line_;
        ++pos_;
        const size_t start = pos_;
        while (!at_end() && text_[pos_] != '"') {
            if (text_[pos_] == '\n')
                ++line_;
            ++pos_;
        }
        if (at_end())
            fail(origin_, opened, "quoted text is never closed");
        std::string value = text_.substr(start, pos_ - start);
        ++pos_;
        return value;
    }

    AmiNode parse_item(int depth)
    {
        AmiNode node;
        node.line = line_;
        if (depth > deepest_item)
            fail(origin_, line_, "items nested more than " + std::to_string(deepest_item) + " deep");
        ++pos_; // '('
        skip_blanks();
        if (at_end() || text_[pos_] == '(' || text_[pos_] == ')' || text_[pos_] == '"')
            fail(origin_, line_, "'(' must be followed by a name");
        node.name = word();
        for (;;) {
            skip_blanks();
            if (at_end())
                fail(origin_, node.line, "item '" + node.name + "' is never closed with ')'");
            const char c = text_[pos_];
            if (c == ')') {
                ++pos_;
                break;
            }
            if (c == '(')
                node.children.push_back(parse_item(depth + 1));
            else if (c == '"')
                node.values.push_back(quoted());
            else
                node.values.push_back(word());
        }
        if (!node.values.empty() && !node.children.empty())
            fail(origin_, node.line, "item '" + node.name + "' mixes values and sub-items");
        // A root alone is a whole parameter string: the one of a model with
        // no parameter to give.
        if (node.values.empty() && node.children.empty() && depth > 1)
            fail(origin_, node.line, "item '" + node.name + "' is empty");
        return node;
    }
};

} // namespace

AmiNode parse_ami_syntax(const std::string &text, const std::string &origin)
{
    return SyntaxParser(text, origin).parse();
}

} // namespace ami_host
