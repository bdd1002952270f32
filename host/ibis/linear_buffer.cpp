// A buffer's state as the sum of piecewise-linear currents over the pin
// voltage: the sum is itself piecewise linear between the tables' points,
// so its zero and the slope there are found exactly on the segment that
// crosses. Each value is noted with the line it came from.
#include "ibis/linear_buffer.h"

#include "base/host_error.h"
#include "base/text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace ami_host {

namespace {

std::string number_text(double value, const char *unit)
{
    return four_digits(value) + " " + unit;
}

const char *corner_name(Corner corner)
{
    return corner == Corner::Typ ? "typ" : corner == Corner::Min ? "min" : "max";
}

// One contribution to the pin current: a table (its voltages referred to
// ground, or to the supply when `from_supply`) or a resistor to ground or
// to the supply.
struct Term {
    const IvTable *table = nullptr;
    double resistance = 0.0;
    bool from_supply = false;
    std::string text; // "[Pulldown] (file:line)"
};

class State {
public:
    State(Corner corner, double supply) : corner_(corner), supply_(supply) {}

    void add(const Term &term) { terms_.push_back(term); }

    // The current into the pin at pin voltage v.
    double current(double v) const
    {
        double sum = 0.0;
        for (const Term &t : terms_) {
            const double x = t.from_supply ? supply_ - v : v;
            if (t.table == nullptr)
                sum += (t.from_supply ? -x : x) / t.resistance;
            else
                sum += table_current(*t.table, x);
        }
        return sum;
    }

    // The pin voltages where the sum may bend: every table point, and two
    // far points so that resistors alone have a segment.
    std::vector<double> breakpoints() const
    {
        std::vector<double> v = {-100.0 - std::fabs(supply_), 100.0 + std::fabs(supply_)};
        for (const Term &t : terms_)
            if (t.table != nullptr)
                for (double x : t.table->voltage)
                    v.push_back(t.from_supply ? supply_ - x : x);
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        return v;
    }

    std::string description() const
    {
        std::string text;
        for (const Term &t : terms_)
            text += (text.empty() ? "" : " + ") + t.text;
        return text.empty() ? "no table or resistor" : text;
    }

private:
    Corner corner_;
    double supply_;
    std::vector<Term> terms_;

    double table_current(const IvTable &table, double x) const
    {
        const std::vector<double> &v = table.voltage;
        const std::vector<double> &i = table.current[static_cast<size_t>(corner_)];
        if (x <= v.front())
            return i.front();
        if (x >= v.back())
            return i.back();
        const size_t k = static_cast<size_t>(std::upper_bound(v.begin(), v.end(), x) - v.begin());
        return i[k - 1] + (i[k] - i[k - 1]) * (x - v[k - 1]) / (v[k] - v[k - 1]);
    }
};

struct OperatingPoint {
    bool found = false;
    double voltage = 0.0;
    double conductance = 0.0; // the slope of the current there
};

// The first zero of the state's current over the pin voltage.
OperatingPoint operating_point(const State &state)
{
    const std::vector<double> v = state.breakpoints();
    std::vector<double> i;
    double largest = 0.0;
    for (double x : v) {
        i.push_back(state.current(x));
        largest = std::max(largest, std::fabs(i.back()));
    }
    // Supply-referred points land on the pin's axis with rounding: what is
    // left of a zero current is taken as zero.
    for (double &current : i)
        if (std::fabs(current) <= 1e-12 * largest)
            current = 0.0;
    for (size_t k = 0; k + 1 < v.size(); ++k) {
        if (i[k] == 0.0) {
            // A span of no current (clamps that do not conduct) has no slope.
            const size_t lo = k > 0 ? k - 1 : k;
            return {true, v[k], i[k + 1] == 0.0 ? 0.0 : (i[k + 1] - i[lo]) / (v[k + 1] - v[lo])};
        }
        if ((i[k] < 0.0) != (i[k + 1] < 0.0) && i[k + 1] != 0.0) {
            const double slope = (i[k + 1] - i[k]) / (v[k + 1] - v[k]);
            return {true, v[k] - i[k] / slope, slope};
        }
    }
    return {};
}

class BufferReader {
public:
    BufferReader(const IbisFile &file, const IbisModel &model, Corner corner)
        : file_(file), model_(model), corner_(corner)
    {
    }

    // A state of the buffer with `driver` (or none) on.
    State state(const IvTable *driver, const char *driver_name, bool driver_from_supply) const
    {
        State s(corner_, supply(driver_from_supply ? driver : nullptr));
        if (driver != nullptr && driver->present())
            s.add({driver, 0.0, driver_from_supply, keyword_text(driver_name, driver->line)});
        if (model_.gnd_clamp.present())
            s.add({&model_.gnd_clamp, 0.0, false, keyword_text("[GND Clamp]", model_.gnd_clamp.line)});
        if (model_.power_clamp.present())
            s.add({&model_.power_clamp, 0.0, true, keyword_text("[POWER Clamp]", model_.power_clamp.line)});
        for (const auto &[value, name, from_supply] :
             {std::tuple{&model_.rgnd, "[Rgnd]", false}, {&model_.rpower, "[Rpower]", true}})
            if (value->present() && value->at(corner_) > 0.0)
                s.add({nullptr, value->at(corner_), from_supply,
                       std::string(name) + " " + ohms_text(value->at(corner_)) + " (" + file_.where(value->line) + ")"});
        return s;
    }

    std::string where(int line) const { return file_.where(line); }

    void note_c_comp(LinearBuffer &buffer) const
    {
        if (!model_.c_comp.present()) {
            buffer.sources.push_back("C_comp 0 pF: model " + model_.name + " gives none (" + where(model_.line) + ")");
            return;
        }
        buffer.c_comp = model_.c_comp.at(corner_);
        buffer.sources.push_back("C_comp " + farads_text(buffer.c_comp) + ": C_comp " + corner_name(corner_) +
                                 " of " + model_.name + " (" + where(model_.c_comp.line) + ")");
    }

    const char *corner() const { return corner_name(corner_); }

private:
    const IbisFile &file_;
    const IbisModel &model_;
    Corner corner_;

    std::string keyword_text(const char *name, int line) const { return std::string(name) + " (" + where(line) + ")"; }

    // The supply voltage supply-referred terms are placed at; required only
    // when the model has such terms.
    double supply(const IvTable *supply_driver) const
    {
        const bool needed = (supply_driver != nullptr && supply_driver->present()) || model_.power_clamp.present() ||
                            model_.rpower.present();
        if (model_.voltage_range.present())
            return model_.voltage_range.at(corner_);
        if (needed)
            throw Error(where(model_.line) + ": model " + model_.name +
                        " refers tables to its supply but gives no [Voltage Range]");
        return 0.0;
    }
};

// The state's operating point, noted; a state with none, or one that does
// not conduct there, is refused when `required`.
OperatingPoint noted_point(const BufferReader &reader, const State &state, const std::string &name, int line,
                           bool required, std::vector<std::string> &notes)
{
    const OperatingPoint p = operating_point(state);
    if (required && !(p.found && p.conductance > 0.0))
        throw Error(reader.where(line) + ": " + name + ": " + state.description() +
                    (p.found ? " does not conduct at its operating point" : " has no operating point (no zero current)"));
    notes.push_back(name + ": " + (p.found ? number_text(p.conductance > 0.0 ? 1.0 / p.conductance : 0.0, "ohm") +
                                                 " at its operating point " + number_text(p.voltage, "V")
                                           : std::string("no operating point")) +
                    " (" + reader.corner() + "), from " + state.description());
    return p;
}

} // namespace

LinearBuffer output_buffer(const IbisFile &file, const IbisModel &model, Corner corner)
{
    if (!model.pulldown.present() && !model.pullup.present())
        throw Error(file.where(model.line) + ": model " + model.name +
                    " has neither [Pulldown] nor [Pullup], so it gives no output resistance");
    const BufferReader reader(file, model, corner);
    LinearBuffer buffer;
    std::vector<std::string> notes;
    const int low_line = model.pulldown.present() ? model.pulldown.line : model.line;
    const int high_line = model.pullup.present() ? model.pullup.line : model.line;
    const OperatingPoint low = noted_point(reader, reader.state(&model.pulldown, "[Pulldown]", false),
                                           "driving low", low_line, true, notes);
    const OperatingPoint high = noted_point(reader, reader.state(&model.pullup, "[Pullup]", true), "driving high",
                                            high_line, true, notes);
    buffer.resistance = 0.5 * (1.0 / low.conductance + 1.0 / high.conductance);
    buffer.sources.push_back("output resistance " + ohms_text(buffer.resistance) +
                             ", the mean of the two states' resistances:");
    buffer.sources.insert(buffer.sources.end(), notes.begin(), notes.end());
    reader.note_c_comp(buffer);
    return buffer;
}

LinearBuffer input_buffer(const IbisFile &file, const IbisModel &model, Corner corner)
{
    const BufferReader reader(file, model, corner);
    LinearBuffer buffer;
    std::vector<std::string> notes;
    const State state = reader.state(nullptr, "", false);
    const OperatingPoint p = noted_point(reader, state, "input", model.line, false, notes);
    buffer.conductance = p.found ? std::max(p.conductance, 0.0) : 0.0;
    buffer.resistance =
        buffer.conductance > 0.0 ? 1.0 / buffer.conductance : std::numeric_limits<double>::infinity();
    buffer.sources.push_back("input resistance " +
                             (buffer.conductance > 0.0 ? ohms_text(buffer.resistance) : std::string("open")) + ":");
    buffer.sources.insert(buffer.sources.end(), notes.begin(), notes.end());
    if (model.cac.present() && model.cac.at(corner) > 0.0) {
        buffer.cac = model.cac.at(corner);
        buffer.rac = model.rac.present() ? model.rac.at(corner) : 0.0;
        buffer.sources.push_back("[Rac] " + ohms_text(buffer.rac) + " in series with [Cac] " +
                                 farads_text(buffer.cac) + " (" + file.where(model.cac.line) + ")");
    }
    reader.note_c_comp(buffer);
    return buffer;
}

std::string ohms_text(double ohms)
{
    return number_text(ohms, "ohm");
}

std::string farads_text(double farads)
{
    return number_text(farads * 1e12, "pF");
}

std::string henries_text(double henries)
{
    return number_text(henries * 1e9, "nH");
}

} // namespace ami_host
