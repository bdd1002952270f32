// The IBIS reader: one pass over the lines, each bracketed keyword choosing
// what the lines after it hold, then the checks that tie pins, selectors and
// models together.
#include "ibis/ibis_file.h"

#include "base/host_error.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace ami_host {

namespace {

bool same_name(const std::string &a, const std::string &b)
{
    return lowercase(a) == lowercase(b);
}

std::vector<std::string> words_of(const std::string &text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// A keyword's name as compared: lower case, an underscore the same as a blank.
std::string keyword_name(const std::string &text)
{
    std::string name;
    for (const std::string &word : words_of(lowercase(text))) {
        std::string spaced = word;
        std::replace(spaced.begin(), spaced.end(), '_', ' ');
        name += (name.empty() ? "" : " ") + trim(spaced);
    }
    return name;
}

// What the lines after a keyword hold.
enum class Section { None, Package, Pin, DiffPin, Selector, Model, IvTable, Values, Algorithmic };

class Reader {
public:
    explicit Reader(const std::string &path) { file_.path = path; }

    IbisFile read(const std::string &text)
    {
        std::istringstream in(text);
        std::string raw;
        while (!ended_ && std::getline(in, raw)) {
            ++line_;
            if (!raw.empty() && raw.back() == '\r')
                raw.pop_back();
            read_line(raw);
        }
        check_references();
        return std::move(file_);
    }

private:
    IbisFile file_;
    int line_ = 0;
    char comment_ = '|';
    bool ended_ = false;
    Section section_ = Section::None;
    IbisComponent *component_ = nullptr;
    IbisModel *model_ = nullptr;
    ModelSelector *selector_ = nullptr;
    IvTable *table_ = nullptr;
    CornerValues *values_ = nullptr; // a keyword whose values may follow on the next line
    std::vector<std::string> pin_columns_;
    std::map<size_t, CornerValues> c_comp_shares_; // by model index: C_comp_pullup and the like, summed

    [[noreturn]] void fail(const std::string &message) const { throw Error(file_.where(line_) + ": " + message); }

    double number(const std::string &word, const std::string &what) const
    {
        double value = 0.0;
        if (!read_ibis_number(word, value))
            fail(what + " '" + word + "' is not a number");
        return value;
    }

    // typ [min max], NA allowed for min and max.
    CornerValues corner_values(const std::vector<std::string> &words, size_t first, const std::string &what) const
    {
        const size_t count = words.size() - first;
        if (count != 1 && count != 3)
            fail(what + " needs typ, min and max values, found " + std::to_string(count));
        CornerValues v;
        v.line = line_;
        v.values.fill(number(words[first], what));
        for (size_t k = 1; k < count; ++k)
            if (lowercase(words[first + k]) != "na")
                v.values[k] = number(words[first + k], what);
        return v;
    }

    void read_line(const std::string &raw)
    {
        const std::string stripped = trim(raw);
        // [Comment Char] is read before comments are cut: it may name the current one.
        const size_t close = stripped.find(']');
        if (!stripped.empty() && stripped[0] == '[' && close != std::string::npos &&
            keyword_name(stripped.substr(1, close - 1)) == "comment char") {
            const std::vector<std::string> words = words_of(stripped.substr(close + 1));
            if (words.empty() || words[0].size() != 6 || lowercase(words[0].substr(1)) != "_char")
                fail("[Comment Char] takes a character followed by _char, e.g. #_char");
            comment_ = words[0][0];
            return;
        }
        const std::string text = trim(stripped.substr(0, stripped.find(comment_)));
        if (text.empty())
            return;
        if (text[0] == '[') {
            const size_t close = text.find(']');
            if (close == std::string::npos)
                fail("a keyword's ']' is missing");
            keyword(keyword_name(text.substr(1, close - 1)), trim(text.substr(close + 1)));
        } else {
            row(words_of(text));
        }
    }

    IbisModel &model(const std::string &keyword) const
    {
        if (model_ == nullptr)
            fail("[" + keyword + "] outside a [Model]");
        return *model_;
    }

    IbisComponent &component(const std::string &keyword) const
    {
        if (component_ == nullptr)
            fail("[" + keyword + "] outside a [Component]");
        return *component_;
    }

    void start_table(IvTable &table)
    {
        if (table.present())
            fail("a second table of this kind in the model");
        table.line = line_;
        table_ = &table;
        section_ = Section::IvTable;
    }

    // A keyword whose typ, min and max follow on its line or the next.
    void start_values(CornerValues &values, const std::string &args, const std::string &what)
    {
        if (values.present())
            fail(what + " given twice in the model");
        if (!args.empty()) {
            values = corner_values(words_of(args), 0, what);
            section_ = Section::None;
            return;
        }
        values_ = &values;
        section_ = Section::Values;
    }

    void keyword(const std::string &name, const std::string &args)
    {
        section_ = Section::None;
        if (name == "end") {
            ended_ = true;
        } else if (name == "ibis ver") {
            file_.version = args;
        } else if (name == "component") {
            file_.components.push_back({});
            component_ = &file_.components.back();
            component_->name = args;
            component_->line = line_;
            model_ = nullptr;
        } else if (name == "manufacturer") {
            component(name).manufacturer = args;
        } else if (name == "package") {
            component(name);
            section_ = Section::Package;
        } else if (name == "pin") {
            component(name);
            pin_columns_ = words_of(lowercase(args));
            section_ = Section::Pin;
        } else if (name == "diff pin") {
            component(name);
            section_ = Section::DiffPin;
        } else if (name == "model selector") {
            file_.selectors.push_back({args, {}, line_});
            selector_ = &file_.selectors.back();
            model_ = nullptr;
            section_ = Section::Selector;
        } else if (name == "model") {
            file_.models.push_back({});
            model_ = &file_.models.back();
            model_->name = args;
            model_->line = line_;
            component_ = nullptr;
            section_ = Section::Model;
        } else {
            model_keyword(name, args);
        }
    }

    void model_keyword(const std::string &name, const std::string &args)
    {
        if (name == "voltage range") {
            start_values(model(name).voltage_range, args, "[Voltage Range]");
        } else if (name == "pullup") {
            start_table(model(name).pullup);
        } else if (name == "pulldown") {
            start_table(model(name).pulldown);
        } else if (name == "gnd clamp") {
            start_table(model(name).gnd_clamp);
        } else if (name == "power clamp") {
            start_table(model(name).power_clamp);
        } else if (name == "rgnd" || name == "rpower" || name == "rac" || name == "cac") {
            IbisModel &m = model(name);
            CornerValues &target = name == "rgnd" ? m.rgnd : name == "rpower" ? m.rpower : name == "rac" ? m.rac : m.cac;
            start_values(target, args, "[" + name + "]");
        } else if (name == "algorithmic model") {
            model(name).algorithmic_line = line_;
            section_ = Section::Algorithmic;
        }
        // Any other keyword ([Ramp], waveforms, ...) is skipped with its lines.
    }

    void row(const std::vector<std::string> &w)
    {
        if (w.empty())
            return;
        switch (section_) {
        case Section::Package:
            package_row(w);
            break;
        case Section::Pin:
            pin_row(w);
            break;
        case Section::DiffPin:
            if (w.size() < 2)
                fail("a [Diff Pin] row needs the pin and its inverting pin");
            component_->diff_pins.push_back({w[0], w[1], line_});
            break;
        case Section::Selector:
            selector_->models.push_back(w[0]);
            break;
        case Section::Model:
            model_row(w);
            break;
        case Section::IvTable:
            iv_row(w);
            break;
        case Section::Values:
            *values_ = corner_values(w, 0, "the value");
            section_ = Section::None;
            break;
        case Section::Algorithmic:
            if (lowercase(w[0]) == "executable") {
                if (w.size() != 4)
                    fail("an Executable line names a platform, a library and an .ami file");
                model_->executables.push_back({w[1], w[2], w[3], line_});
            }
            break;
        case Section::None:
            break;
        }
    }

    void package_row(const std::vector<std::string> &w)
    {
        const std::string name = lowercase(w[0]);
        CornerValues *target = name == "r_pkg" ? &component_->r_pkg
                               : name == "l_pkg" ? &component_->l_pkg
                               : name == "c_pkg" ? &component_->c_pkg
                                                 : nullptr;
        if (target == nullptr)
            fail("[Package] holds R_pkg, L_pkg and C_pkg, not '" + w[0] + "'");
        *target = corner_values(w, 1, w[0]);
    }

    // Pin, signal, model and, when the header names them, R_pin L_pin C_pin.
    void pin_row(const std::vector<std::string> &w)
    {
        if (w.size() < 3)
            fail("pin " + w[0] + " names no model");
        IbisPin pin{w[0], w[1], w[2], {}, {}, {}, line_};
        for (size_t k = 3; k < w.size() && k - 1 < pin_columns_.size(); ++k) {
            const std::string &column = pin_columns_[k - 1];
            CornerValues *target = column == "r_pin" ? &pin.r_pin
                                   : column == "l_pin" ? &pin.l_pin
                                   : column == "c_pin" ? &pin.c_pin
                                                       : nullptr;
            if (target != nullptr && lowercase(w[k]) != "na")
                *target = corner_values({w[k]}, 0, pin_columns_[k - 1]);
        }
        component_->pins.push_back(pin);
    }

    void model_row(const std::vector<std::string> &row)
    {
        std::vector<std::string> w;
        for (const std::string &word : row)
            if (word != "=")
                w.push_back(word);
        if (w.empty())
            return; // a line of '=' alone says nothing
        const std::string name = lowercase(w[0]);
        if (name == "model_type") {
            if (w.size() < 2)
                fail("Model_type names no type");
            model_->type = w[1];
            model_->type_line = line_;
        } else if (name == "c_comp") {
            model_->c_comp = corner_values(w, 1, "C_comp");
            check_capacitance(model_->c_comp, "C_comp");
        } else if (name.rfind("c_comp_", 0) == 0) {
            // Later versions split C_comp by the rail each share connects to;
            // the channel sees their sum.
            const CornerValues share = corner_values(w, 1, w[0]);
            check_capacitance(share, w[0]);
            CornerValues &sum = c_comp_shares_[file_.models.size() - 1];
            for (size_t k = 0; k < 3; ++k)
                sum.values[k] += share.values[k];
            sum.line = sum.line > 0 ? sum.line : line_;
        }
    }

    void check_capacitance(const CornerValues &c, const std::string &what) const
    {
        for (double value : c.values)
            if (value < 0.0)
                fail(what + " is negative");
    }

    void iv_row(const std::vector<std::string> &w)
    {
        if (w.size() != 2 && w.size() != 4)
            fail("an I-V row is a voltage and the typ, min and max currents");
        const double voltage = number(w[0], "the voltage");
        if (!table_->voltage.empty() && !(voltage > table_->voltage.back()))
            fail("the voltages of an I-V table must increase");
        const CornerValues current = corner_values(w, 1, "the current");
        table_->voltage.push_back(voltage);
        for (size_t k = 0; k < 3; ++k)
            table_->current[k].push_back(current.values[k]);
    }

    void check_references()
    {
        for (const auto &[index, shares] : c_comp_shares_)
            if (!file_.models[index].c_comp.present())
                file_.models[index].c_comp = shares;
        for (const IbisModel &m : file_.models)
            for (const IvTable *table : {&m.pullup, &m.pulldown, &m.gnd_clamp, &m.power_clamp})
                check_crossing(*table);
        for (const ModelSelector &s : file_.selectors)
            for (const std::string &name : s.models)
                if (file_.model(name) == nullptr)
                    throw Error(file_.where(s.line) + ": [Model Selector] " + s.name + " names the model " + name +
                                ", which is not in the file");
        for (const IbisComponent &c : file_.components)
            for (const IbisPin &pin : c.pins)
                check_pin_model(pin);
    }

    // An I-V table's typical current must reach zero: where it does is the
    // buffer's operating point.
    void check_crossing(const IvTable &table) const
    {
        if (!table.present())
            return;
        const std::vector<double> &i = table.current[0];
        if (i.size() < 2)
            throw Error(file_.where(table.line) + ": an I-V table needs at least two rows");
        if (*std::min_element(i.begin(), i.end()) > 0.0 || *std::max_element(i.begin(), i.end()) < 0.0)
            throw Error(file_.where(table.line) + ": the I-V data do not cross zero current");
    }

    void check_pin_model(const IbisPin &pin) const
    {
        const std::string name = lowercase(pin.model);
        if (name == "power" || name == "gnd" || name == "nc" || name == "nomodel")
            return;
        if (file_.model(pin.model) == nullptr && file_.selector(pin.model) == nullptr)
            throw Error(file_.where(pin.line) + ": pin " + pin.name + " names the model " + pin.model +
                        ", which is not in the file");
    }
};

} // namespace

bool IbisModel::drives() const
{
    const std::string t = lowercase(type);
    return t.find("output") != std::string::npos || t.find("i/o") != std::string::npos ||
           t.find("3-state") != std::string::npos;
}

bool IbisModel::receives() const
{
    const std::string t = lowercase(type);
    return t.find("input") != std::string::npos || t.find("i/o") != std::string::npos;
}

const IbisPin *IbisComponent::pin(const std::string &name) const
{
    for (const IbisPin &p : pins)
        if (same_name(p.name, name))
            return &p;
    return nullptr;
}

const IbisPin *IbisComponent::partner(const IbisPin &p) const
{
    for (const DiffPin &d : diff_pins) {
        if (same_name(d.pin, p.name))
            return pin(d.inverting);
        if (same_name(d.inverting, p.name))
            return pin(d.pin);
    }
    return nullptr;
}

const IbisModel *IbisFile::model(const std::string &name) const
{
    for (const IbisModel &m : models)
        if (same_name(m.name, name))
            return &m;
    return nullptr;
}

const ModelSelector *IbisFile::selector(const std::string &name) const
{
    for (const ModelSelector &s : selectors)
        if (same_name(s.name, name))
            return &s;
    return nullptr;
}

bool read_ibis_number(const std::string &word, double &value)
{
    const char *begin = word.data();
    const char *end = begin + word.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || !std::isfinite(value))
        return false;
    const char *rest = stop;
    static const struct {
        char letter;
        double scale;
    } scales[] = {{'T', 1e12}, {'G', 1e9}, {'M', 1e6}, {'k', 1e3}, {'m', 1e-3},
                  {'u', 1e-6}, {'n', 1e-9}, {'p', 1e-12}, {'f', 1e-15}};
    if (rest != end)
        for (const auto &s : scales)
            if (*rest == s.letter) {
                value *= s.scale;
                ++rest;
                break;
            }
    // What follows is the unit (V, A, H, F, Ohm, s), which changes nothing.
    return std::all_of(rest, end, [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; });
}

IbisFile parse_ibis(const std::string &text, const std::string &path)
{
    return Reader(path).read(text);
}

IbisFile read_ibis(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot open the IBIS file " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw Error("cannot read the IBIS file " + path);
    return parse_ibis(text.str(), path);
}

} // namespace ami_host
