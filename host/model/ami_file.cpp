// Reader of .ami files: the interpretation of reserved and model-specific
// parameter declarations.
#include "model/ami_file.h"

#include "base/host_error.h"

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

// Where a declaration's problems are reported.
struct Declaration {
    const AmiNode &node;
    const std::string &origin;
    std::string where; // "parameter '<dotted name>'"

    [[noreturn]] void fail_at(const AmiNode &item, const std::string &problem) const
    {
        fail(origin, item.line, where + problem);
    }
};

Usage read_usage(const Declaration &d)
{
    const AmiNode *usage = single_value_child(d.node, "Usage", d.origin);
    const std::string &u = usage->values[0];
    const std::pair<const char *, Usage> known[] = {
        {"In", Usage::In}, {"Out", Usage::Out}, {"InOut", Usage::InOut}, {"Info", Usage::Info}, {"Dep", Usage::Dep}};
    for (const auto &[name, value] : known)
        if (u == name)
            return value;
    d.fail_at(*usage, ": unknown Usage '" + u + "' (In, Out, InOut, Info or Dep)");
}

ValueType read_type(const Declaration &d)
{
    const AmiNode *type = single_value_child(d.node, "Type", d.origin);
    if (type == nullptr)
        d.fail_at(d.node, " has no (Type ...)");
    for (ValueType candidate : {ValueType::Float, ValueType::Integer, ValueType::UI, ValueType::Tap,
                                ValueType::Boolean, ValueType::String})
        if (type->values[0] == type_name(candidate))
            return candidate;
    d.fail_at(*type, ": unknown Type '" + type->values[0] + "'");
}

// The item that states the allowed values: (Range typ min max), (List a b
// ...), (Value v), ..., or the older (Format Range typ min max). Sets the
// format's name and its values.
const AmiNode &find_format(const Declaration &d, std::string &format_name, std::vector<std::string> &values)
{
    const AmiNode *format = nullptr;
    for (const AmiNode &c : d.node.children) {
        std::string name = c.name;
        std::vector<std::string> these = c.values;
        if (name == "Format" && !these.empty()) {
            name = these[0];
            these.erase(these.begin());
        }
        if (kFormats.count(name) == 0)
            continue;
        if (format != nullptr)
            d.fail_at(c, " states its allowed values twice");
        format = &c;
        format_name = name;
        values = these;
    }
    if (format == nullptr)
        d.fail_at(d.node, " has no (Value ...), (Range ...) or (List ...)");
    return *format;
}

// The allowed values: their format, their number, their type and order.
void read_allowed_values(const Declaration &d, AmiParameter &p)
{
    std::string name;
    const AmiNode &format = find_format(d, name, p.format_values);
    const size_t n = p.format_values.size();
    if (name == "Value") {
        p.format = Format::Value;
        if (n != 1)
            d.fail_at(format, ": (Value ...) must hold one value");
    } else if (name == "List") {
        p.format = Format::List;
        if (n < 1)
            d.fail_at(format, ": (List ...) holds no value");
    } else if (name == "Corner") {
        p.format = Format::Corner;
        if (n != 3)
            d.fail_at(format, ": (Corner typ slow fast) must hold three values");
    } else {
        p.format = name == "Range" ? Format::Range : name == "Increment" ? Format::Increment : Format::Steps;
        const size_t wanted = p.format == Format::Range ? 3 : 4;
        if (n != wanted)
            d.fail_at(format, ": (" + name + " ...) must hold " + std::to_string(wanted) + " numbers");
        if (!is_numeric(p.type))
            d.fail_at(format, ": a " + name + " needs a numeric Type");
    }
    for (const std::string &v : p.format_values) {
        const std::string bad = check_type(p.type, v);
        if (!bad.empty())
            d.fail_at(format, ": " + bad);
    }
    if (p.format == Format::Range || p.format == Format::Increment || p.format == Format::Steps) {
        double lo = 0, hi = 0;
        parse_number(p.format_values[1], lo);
        parse_number(p.format_values[2], hi);
        if (lo > hi)
            d.fail_at(format, ": the minimum " + p.format_values[1] + " exceeds the maximum " + p.format_values[2]);
    }
}

// The default: (Default v), or else the typical value (the first one written).
std::string read_default(const Declaration &d, const AmiParameter &p)
{
    const AmiNode *def = single_value_child(d.node, "Default", d.origin);
    const std::string value = def != nullptr ? def->values[0] : p.format_values[0];
    const std::string bad = p.check(value);
    if (!bad.empty())
        d.fail_at(d.node, ": its default " + bad);
    return value;
}

// Reads one parameter declaration: (name (Usage u) (Type t) (<format> ...) ...).
AmiParameter read_parameter(const AmiNode &node, std::vector<std::string> path, const std::string &origin)
{
    AmiParameter p;
    p.path = std::move(path);
    p.line = node.line;
    const Declaration d{node, origin, "parameter '" + p.dotted_name() + "'"};
    p.usage = read_usage(d);
    p.type = read_type(d);
    read_allowed_values(d, p);
    p.default_value = read_default(d, p);
    p.default_declared = child(node, "Default") != nullptr;
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
