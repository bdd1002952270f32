// Reader of .ami files: tokenizer and parser of the parenthesised syntax, and
// the interpretation of reserved and model-specific parameter declarations.
#include "ami_file.h"

#include "host_error.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace ami_host {

namespace {

[[noreturn]] void fail(const std::string &origin, int line, const std::string &message)
{
    throw Error(origin + ":" + std::to_string(line) + ": " + message);
}

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
        AmiNode root = parse_item();
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

    AmiNode parse_item()
    {
        AmiNode node;
        node.line = line_;
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
                node.children.push_back(parse_item());
            else if (c == '"')
                node.values.push_back(quoted());
            else
                node.values.push_back(word());
        }
        if (!node.values.empty() && !node.children.empty())
            fail(origin_, node.line, "item '" + node.name + "' mixes values and sub-items");
        if (node.values.empty() && node.children.empty())
            fail(origin_, node.line, "item '" + node.name + "' is empty");
        return node;
    }
};

bool parse_integer(const std::string &text, long long &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parse_number(const std::string &text, double &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(out);
}

bool is_numeric(ValueType type)
{
    return type == ValueType::Float || type == ValueType::Integer || type == ValueType::UI || type == ValueType::Tap;
}

const char *type_name(ValueType type)
{
    switch (type) {
    case ValueType::Float: return "Float";
    case ValueType::Integer: return "Integer";
    case ValueType::UI: return "UI";
    case ValueType::Tap: return "Tap";
    case ValueType::Boolean: return "Boolean";
    case ValueType::String: return "String";
    }
    return "?";
}

// Empty when `value` is a valid text of `type`.
std::string check_type(ValueType type, const std::string &value)
{
    long long integer = 0;
    double number = 0.0;
    switch (type) {
    case ValueType::Integer:
        return parse_integer(value, integer) ? "" : "'" + value + "' is not an integer";
    case ValueType::Float:
    case ValueType::UI:
    case ValueType::Tap:
        return parse_number(value, number) ? "" : "'" + value + "' is not a number";
    case ValueType::Boolean:
        return value == "True" || value == "False" ? "" : "'" + value + "' is not True or False";
    case ValueType::String:
        return value.find('"') == std::string::npos ? "" : "a text value cannot hold a double quote";
    }
    return "unknown type";
}

bool same_value(ValueType type, const std::string &a, const std::string &b)
{
    double x = 0.0, y = 0.0;
    if (is_numeric(type) && parse_number(a, x) && parse_number(b, y))
        return x == y;
    return a == b;
}

std::string join(const std::vector<std::string> &items, const std::string &separator)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? separator : "") + items[i];
    return out;
}

const AmiNode *child(const AmiNode &node, const std::string &name)
{
    for (const AmiNode &c : node.children)
        if (c.name == name)
            return &c;
    return nullptr;
}

const AmiNode *single_value_child(const AmiNode &node, const std::string &name, const std::string &origin)
{
    const AmiNode *c = child(node, name);
    if (c != nullptr && c->values.size() != 1)
        fail(origin, c->line, "(" + name + " ...) of '" + node.name + "' must hold exactly one value");
    return c;
}

const std::set<std::string> kFormats = {"Value", "Range", "List", "Corner", "Increment", "Steps"};

// Reads one parameter declaration: (name (Usage u) (Type t) (<format> ...) ...).
AmiParameter read_parameter(const AmiNode &node, std::vector<std::string> path, const std::string &origin)
{
    AmiParameter p;
    p.path = std::move(path);
    p.line = node.line;
    const std::string where = "parameter '" + p.dotted_name() + "'";

    const AmiNode *usage = single_value_child(node, "Usage", origin);
    const std::string u = usage->values[0];
    if (u == "In")
        p.usage = Usage::In;
    else if (u == "Out")
        p.usage = Usage::Out;
    else if (u == "InOut")
        p.usage = Usage::InOut;
    else if (u == "Info")
        p.usage = Usage::Info;
    else if (u == "Dep")
        p.usage = Usage::Dep;
    else
        fail(origin, usage->line, where + ": unknown Usage '" + u + "' (In, Out, InOut, Info or Dep)");

    const AmiNode *type = single_value_child(node, "Type", origin);
    if (type == nullptr)
        fail(origin, node.line, where + " has no (Type ...)");
    const std::string t = type->values[0];
    bool known = false;
    for (ValueType candidate : {ValueType::Float, ValueType::Integer, ValueType::UI, ValueType::Tap,
                                ValueType::Boolean, ValueType::String}) {
        if (t == type_name(candidate)) {
            p.type = candidate;
            known = true;
        }
    }
    if (!known)
        fail(origin, type->line, where + ": unknown Type '" + t + "'");

    // The allowed values: (Range typ min max), (List a b ...), (Value v), ...,
    // or the older (Format Range typ min max).
    const AmiNode *format = nullptr;
    std::string format_name;
    for (const AmiNode &c : node.children) {
        std::string name = c.name;
        std::vector<std::string> values = c.values;
        if (name == "Format" && !values.empty()) {
            name = values[0];
            values.erase(values.begin());
        }
        if (kFormats.count(name) == 0)
            continue;
        if (format != nullptr)
            fail(origin, c.line, where + " states its allowed values twice");
        format = &c;
        format_name = name;
        p.format_values = values;
    }
    if (format == nullptr)
        fail(origin, node.line, where + " has no (Value ...), (Range ...) or (List ...)");
    const size_t n = p.format_values.size();
    if (format_name == "Value") {
        p.format = Format::Value;
        if (n != 1)
            fail(origin, format->line, where + ": (Value ...) must hold one value");
    } else if (format_name == "List") {
        p.format = Format::List;
        if (n < 1)
            fail(origin, format->line, where + ": (List ...) holds no value");
    } else if (format_name == "Corner") {
        p.format = Format::Corner;
        if (n != 3)
            fail(origin, format->line, where + ": (Corner typ slow fast) must hold three values");
    } else {
        p.format = format_name == "Range" ? Format::Range : format_name == "Increment" ? Format::Increment
                                                                                       : Format::Steps;
        const size_t wanted = p.format == Format::Range ? 3 : 4;
        if (n != wanted)
            fail(origin, format->line,
                 where + ": (" + format_name + " ...) must hold " + std::to_string(wanted) + " numbers");
        if (!is_numeric(p.type))
            fail(origin, format->line, where + ": a " + format_name + " needs a numeric Type");
    }
    for (const std::string &v : p.format_values) {
        const std::string bad = check_type(p.type, v);
        if (!bad.empty())
            fail(origin, format->line, where + ": " + bad);
    }
    if (p.format == Format::Range || p.format == Format::Increment || p.format == Format::Steps) {
        double typ = 0, lo = 0, hi = 0;
        parse_number(p.format_values[0], typ);
        parse_number(p.format_values[1], lo);
        parse_number(p.format_values[2], hi);
        if (lo > hi)
            fail(origin, format->line, where + ": the minimum " + p.format_values[1] + " exceeds the maximum " +
                                           p.format_values[2]);
    }

    if (const AmiNode *def = single_value_child(node, "Default", origin)) {
        p.default_value = def->values[0];
    } else {
        // Without a Default the typical value (the first one written) is the default.
        p.default_value = p.format_values[0];
    }
    const std::string bad_default = p.check(p.default_value);
    if (!bad_default.empty())
        fail(origin, node.line, where + ": its default " + bad_default);

    if (const AmiNode *description = child(node, "Description"))
        p.description = join(description->values, " ");
    return p;
}

// Walks a Model_Specific (or Reserved_Parameters) section: every item with a
// (Usage ...) is a parameter, every other item a branch of parameters.
void read_section(const AmiNode &section, std::vector<std::string> path, const std::string &origin,
                  std::vector<AmiParameter> &out)
{
    std::set<std::string> seen;
    for (const AmiNode &node : section.children) {
        if (node.name == "Description" && node.children.empty())
            continue; // a branch's own description
        if (!seen.insert(node.name).second)
            fail(origin, node.line, "'" + node.name + "' is declared twice in '" + section.name + "'");
        std::vector<std::string> here = path;
        here.push_back(node.name);
        if (child(node, "Usage") != nullptr) {
            out.push_back(read_parameter(node, here, origin));
        } else if (!node.children.empty()) {
            read_section(node, here, origin, out);
        } else {
            fail(origin, node.line,
                 "'" + node.name + "' is neither a parameter (with Usage, Type and allowed values) nor a branch");
        }
    }
}

// A reserved parameter may also be written in the short form (Name value).
void read_reserved(const AmiNode &section, const std::string &origin, std::vector<AmiParameter> &out)
{
    std::set<std::string> seen;
    for (const AmiNode &node : section.children) {
        if (!seen.insert(node.name).second)
            fail(origin, node.line, "'" + node.name + "' is declared twice in Reserved_Parameters");
        if (child(node, "Usage") != nullptr) {
            out.push_back(read_parameter(node, {node.name}, origin));
        } else if (node.values.size() == 1) {
            AmiParameter p;
            p.path = {node.name};
            p.format_values = node.values;
            p.default_value = node.values[0];
            p.line = node.line;
            out.push_back(p);
        } else {
            fail(origin, node.line, "reserved parameter '" + node.name + "' has no Usage, Type and Value");
        }
    }
}

bool boolean_value(const AmiFile &file, const std::string &name)
{
    const AmiParameter *p = file.find_reserved(name);
    if (p == nullptr)
        fail(file.origin, 1, "Reserved_Parameters must declare " + name);
    if (p->default_value != "True" && p->default_value != "False")
        fail(file.origin, p->line, name + " must be True or False, not '" + p->default_value + "'");
    return p->default_value == "True";
}

} // namespace

std::string AmiParameter::dotted_name() const { return join(path, "."); }

std::string AmiParameter::check(const std::string &value) const
{
    const std::string bad = check_type(type, value);
    if (!bad.empty())
        return bad;
    switch (format) {
    case Format::Value:
    case Format::List:
    case Format::Corner:
        for (const std::string &allowed : format_values)
            if (same_value(type, value, allowed))
                return "";
        return "'" + value + "' is not " + allowed_text();
    case Format::Range:
    case Format::Increment:
    case Format::Steps: {
        double v = 0, lo = 0, hi = 0;
        parse_number(value, v);
        parse_number(format_values[1], lo);
        parse_number(format_values[2], hi);
        if (v < lo || v > hi)
            return "'" + value + "' is outside " + allowed_text();
        if (format == Format::Increment) {
            double typ = 0, step = 0;
            parse_number(format_values[0], typ);
            parse_number(format_values[3], step);
            const double k = step != 0.0 ? (v - typ) / step : 0.0;
            if (std::fabs(k - std::round(k)) > 1e-9)
                return "'" + value + "' is not " + allowed_text();
        }
        return "";
    }
    }
    return "";
}

std::string AmiParameter::allowed_text() const
{
    const std::string kind = type == ValueType::Integer ? "an integer" : is_numeric(type) ? "a number" : "a value";
    switch (format) {
    case Format::Value:
        return "the fixed value " + format_values[0];
    case Format::List:
    case Format::Corner:
        return "one of " + join(format_values, ", ");
    case Format::Range:
    case Format::Steps:
        return "the range " + format_values[1] + " to " + format_values[2] + " (" + kind + ")";
    case Format::Increment:
        return "the range " + format_values[1] + " to " + format_values[2] + " in steps of " + format_values[3] +
               " from " + format_values[0];
    }
    return "";
}

const AmiParameter *AmiFile::find_reserved(const std::string &name) const
{
    for (const AmiParameter &p : reserved)
        if (p.path.size() == 1 && p.path[0] == name)
            return &p;
    return nullptr;
}

const AmiParameter *AmiFile::find(const std::vector<std::string> &path) const
{
    for (const AmiParameter &p : model_specific)
        if (p.path == path)
            return &p;
    return nullptr;
}

bool AmiFile::init_returns_impulse() const { return boolean_value(*this, "Init_Returns_Impulse"); }

bool AmiFile::getwave_exists() const { return boolean_value(*this, "GetWave_Exists"); }

long AmiFile::ignore_bits() const
{
    const AmiParameter *p = find_reserved("Ignore_Bits");
    long long bits = 0;
    if (p == nullptr)
        return 0;
    if (!parse_integer(p->default_value, bits) || bits < 0)
        fail(origin, p->line, "Ignore_Bits must be a whole number of bits, not '" + p->default_value + "'");
    return static_cast<long>(bits);
}

std::string AmiFile::ami_version() const
{
    const AmiParameter *p = find_reserved("AMI_Version");
    return p ? p->default_value : "";
}

AmiFile parse_ami_file(const std::string &text, const std::string &origin)
{
    const AmiNode root = parse_ami_syntax(text, origin);
    AmiFile file;
    file.origin = origin;
    file.root = root.name;
    if (root.children.empty())
        fail(origin, root.line, "the root item '" + root.name + "' holds no Reserved_Parameters");
    bool has_reserved = false;
    for (const AmiNode &section : root.children) {
        if (section.name == "Description") {
            file.description = join(section.values, " ");
        } else if (section.name == "Reserved_Parameters") {
            if (has_reserved)
                fail(origin, section.line, "Reserved_Parameters appears twice");
            has_reserved = true;
            read_reserved(section, origin, file.reserved);
        } else if (section.name == "Model_Specific") {
            read_section(section, {}, origin, file.model_specific);
        } else {
            fail(origin, section.line,
                 "unexpected section '" + section.name + "' (Description, Reserved_Parameters or Model_Specific)");
        }
    }
    if (!has_reserved)
        fail(origin, root.line, "the root item '" + root.name + "' holds no Reserved_Parameters");
    // Read the two flags the host depends on now, so that a bad file fails here.
    file.init_returns_impulse();
    file.getwave_exists();
    file.ignore_bits();
    return file;
}

AmiNode parse_ami_syntax(const std::string &text, const std::string &origin)
{
    return SyntaxParser(text, origin).parse();
}

std::string read_text_file(const std::string &path, const std::string &what)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot read " + what + " '" + path + "': no such file or not readable");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw Error("cannot read " + what + " '" + path + "'");
    return text.str();
}

AmiFile read_ami_file(const std::string &path) { return parse_ami_file(read_text_file(path, "the .ami file"), path); }

} // namespace ami_host
