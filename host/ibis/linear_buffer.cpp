// I-V tables linearised at their operating points, and the receiver's
// terminations gathered, each value noted with the line it came from.
#include "ibis/linear_buffer.h"

#include "base/host_error.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

// Four significant digits in C notation, whatever the locale.
std::string number_text(double value, const char *unit)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4).ptr;
    return std::string(text, end) + " " + unit;
}

// dI/dV where the current crosses zero: 0 over a flat span of zero current,
// the central difference at a point of exactly zero current, else the slope
// of the segment that crosses. `voltage` gets the crossing.
double slope_at_zero(const IvTable &table, Corner corner, double &voltage)
{
    const std::vector<double> &v = table.voltage;
    const std::vector<double> &i = table.current[static_cast<size_t>(corner)];
    for (size_t k = 0; k + 1 < v.size(); ++k)
        if (i[k] == 0.0 && i[k + 1] == 0.0) {
            voltage = v[k];
            return 0.0;
        }
    for (size_t k = 0; k < v.size(); ++k)
        if (i[k] == 0.0) {
            voltage = v[k];
            const size_t lo = k > 0 ? k - 1 : k, hi = k + 1 < v.size() ? k + 1 : k;
            return (i[hi] - i[lo]) / (v[hi] - v[lo]);
        }
    for (size_t k = 0; k + 1 < v.size(); ++k)
        if ((i[k] < 0.0) != (i[k + 1] < 0.0)) {
            const double slope = (i[k + 1] - i[k]) / (v[k + 1] - v[k]);
            voltage = v[k] - i[k] / slope;
            return slope;
        }
    throw Error("the I-V data do not cross zero current"); // the reader refuses such tables
}

const char *corner_name(Corner corner)
{
    return corner == Corner::Typ ? "typ" : corner == Corner::Min ? "min" : "max";
}

void note_c_comp(const IbisFile &file, const IbisModel &model, Corner corner, LinearBuffer &buffer)
{
    if (!model.c_comp.present()) {
        buffer.sources.push_back("C_comp 0 pF: model " + model.name + " gives none (" + file.where(model.line) + ")");
        return;
    }
    buffer.c_comp = model.c_comp.at(corner);
    buffer.sources.push_back("C_comp " + farads_text(buffer.c_comp) + ": C_comp " + corner_name(corner) + " of " +
                             model.name + " (" + file.where(model.c_comp.line) + ")");
}

// The conductance of a table at its operating point, noted.
double table_conductance(const IbisFile &file, const IbisModel &model, const IvTable &table, const char *keyword,
                         Corner corner, std::vector<std::string> &sources)
{
    double voltage = 0.0;
    const double slope = std::fabs(slope_at_zero(table, corner, voltage));
    sources.push_back(std::string(keyword) + " of " + model.name + " (" + file.where(table.line) + "): " +
                      (slope > 0.0 ? ohms_text(1.0 / slope) : std::string("no conduction")) + ", the slope of its " +
                      corner_name(corner) + " current at its zero crossing, " + number_text(voltage, "V"));
    return slope;
}

} // namespace

LinearBuffer output_buffer(const IbisFile &file, const IbisModel &model, Corner corner)
{
    LinearBuffer buffer;
    double sum = 0.0;
    int tables = 0;
    for (const auto &[table, keyword] : {std::pair{&model.pulldown, "[Pulldown]"}, {&model.pullup, "[Pullup]"}}) {
        if (!table->present())
            continue;
        const double g = table_conductance(file, model, *table, keyword, corner, buffer.sources);
        if (!(g > 0.0))
            throw Error(file.where(table->line) + ": " + keyword + " of " + model.name +
                        " does not conduct at its zero crossing, so it gives no output resistance");
        sum += 1.0 / g;
        ++tables;
    }
    if (tables == 0)
        throw Error(file.where(model.line) + ": model " + model.name +
                    " has neither [Pulldown] nor [Pullup], so it gives no output resistance");
    buffer.resistance = sum / tables;
    buffer.sources.insert(buffer.sources.begin(),
                          "output resistance " + ohms_text(buffer.resistance) +
                              (tables == 2 ? ": the mean of the driven-low and driven-high states'" : ":"));
    note_c_comp(file, model, corner, buffer);
    return buffer;
}

LinearBuffer input_buffer(const IbisFile &file, const IbisModel &model, Corner corner)
{
    LinearBuffer buffer;
    std::vector<std::string> parts;
    for (const auto &[table, keyword] :
         {std::pair{&model.gnd_clamp, "[GND Clamp]"}, {&model.power_clamp, "[POWER Clamp]"}})
        if (table->present())
            buffer.conductance += table_conductance(file, model, *table, keyword, corner, parts);
    for (const auto &[value, keyword] : {std::pair{&model.rgnd, "[Rgnd]"}, {&model.rpower, "[Rpower]"}})
        if (value->present() && value->at(corner) > 0.0) {
            buffer.conductance += 1.0 / value->at(corner);
            parts.push_back(std::string(keyword) + " " + ohms_text(value->at(corner)) + " (" +
                            file.where(value->line) + ")");
        }
    if (model.cac.present() && model.cac.at(corner) > 0.0) {
        buffer.cac = model.cac.at(corner);
        buffer.rac = model.rac.present() ? model.rac.at(corner) : 0.0;
        parts.push_back("[Rac] " + ohms_text(buffer.rac) + " in series with [Cac] " + farads_text(buffer.cac) + " (" +
                        file.where(model.cac.line) + ")");
    }
    buffer.resistance = buffer.conductance > 0.0 ? 1.0 / buffer.conductance : std::numeric_limits<double>::infinity();
    buffer.sources.push_back("input resistance " +
                             (buffer.conductance > 0.0 ? ohms_text(buffer.resistance) : std::string("open")) +
                             (parts.empty() ? ": no clamp or termination given" : ", in parallel:"));
    buffer.sources.insert(buffer.sources.end(), parts.begin(), parts.end());
    note_c_comp(file, model, corner, buffer);
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
