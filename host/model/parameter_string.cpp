// The parameter string builder: defaults from the .ami file, overrides
// checked against the declared types and allowed values, branches nested.
#include "model/parameter_string.h"

#include "base/host_error.h"
#include "base/text.h"

#include <set>

namespace ami_host {

namespace {

std::string value_text(const AmiParameter &p, const std::string &value)
{
    return p.type == ValueType::String ? "\"" + value + "\"" : value;
}

std::string settable_names(const AmiFile &ami)
{
    std::string names;
    for (const AmiParameter &p : ami.model_specific)
        if (p.settable())
            names += (names.empty() ? "" : ", ") + p.dotted_name();
    return names.empty() ? "none" : names;
}

} // namespace

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

Override parse_override(const std::string &text)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw Error("parameter override '" + text + "' is not of the form name=value");
    Override o;
    o.text = text;
    o.value = trim(text.substr(equals + 1));
    const std::string name = trim(text.substr(0, equals));
    if (name.empty() || o.value.empty())
        throw Error("parameter override '" + text + "' needs both a name and a value (name=value)");
    o.path = split(name, '.');
    for (const std::string &part : o.path)
        if (part.empty())
            throw Error("parameter override '" + text + "' has an empty branch or parameter name");
    return o;
}

ParameterSet build_parameter_string(const AmiFile &ami, const std::vector<Override> &overrides,
                                    const std::string &side)
{
    std::vector<std::string> values;
    for (const AmiParameter &p : ami.model_specific)
        values.push_back(p.default_value);

    std::set<std::vector<std::string>> given;
    for (const Override &o : overrides) {
        const AmiParameter *p = ami.find(o.path);
        if (p == nullptr)
            throw Error(side + " parameter '" + trim(o.text.substr(0, o.text.find('='))) + "' is not declared in " +
                        ami.origin + " (settable parameters: " + settable_names(ami) + ")");
        if (!p->settable())
            throw Error(side + " parameter '" + p->dotted_name() + "' has Usage " +
                        (p->usage == Usage::Out ? "Out" : p->usage == Usage::Info ? "Info" : "Dep") +
                        " in " + ami.origin + "; only In and InOut parameters can be set");
        if (!given.insert(o.path).second)
            throw Error(side + " parameter '" + p->dotted_name() + "' is given twice");
        const std::string bad = p->check(o.value);
        if (!bad.empty())
            throw Error(side + " parameter " + p->dotted_name() + "=" + o.value + " is refused: " + bad +
                        " declared in " + ami.origin);
        values[static_cast<size_t>(p - ami.model_specific.data())] = o.value;
    }

    ParameterSet set;
    set.text = write_parameter_string(ami, values);
    for (size_t i = 0; i < ami.model_specific.size(); ++i) {
        const AmiParameter &p = ami.model_specific[i];
        if (!p.settable())
            continue;
        set.values.emplace_back(p.dotted_name(), values[i]);
        set.sources.push_back(given.count(p.path) != 0 ? "command line" : p.default_declared ? "default" : ".ami");
    }
    return set;
}

std::string write_parameter_string(const AmiFile &ami, const std::vector<std::string> &values)
{
    // The settable parameters in order, branches opened and closed as the
    // paths of consecutive parameters differ.
    std::string text = "(" + ami.root;
    std::vector<std::string> open;
    for (size_t i = 0; i < ami.model_specific.size(); ++i) {
        const AmiParameter &p = ami.model_specific[i];
        if (!p.settable())
            continue;
        const std::vector<std::string> branch(p.path.begin(), p.path.end() - 1);
        size_t common = 0;
        while (common < open.size() && common < branch.size() && open[common] == branch[common])
            ++common;
        for (; open.size() > common; open.pop_back())
            text += ")";
        for (; open.size() < branch.size(); open.push_back(branch[open.size()]))
            text += " (" + branch[open.size()];
        text += " (" + p.path.back() + " " + value_text(p, values[i]) + ")";
    }
    for (; !open.empty(); open.pop_back())
        text += ")";
    return text + ")";
}

} // namespace ami_host
