// The impairments record filled from text and from .ami files' reserved
// parameters, through one table of their names, sides and units.
#include "model/impairments.h"

#include "base/host_error.h"
#include "base/text.h"

#include <cmath>
#include <cstdio>

namespace ami_host {

namespace {

enum class Quantity { Time, SignedTime, Volts, Hertz };

struct Field {
    const char *name;
    LinkSide side;
    Quantity quantity;
    TimeAmount Impairments::*time = nullptr;
    double Impairments::*number = nullptr;
};

const Field kFields[] = {
    {"Tx_Rj", LinkSide::Tx, Quantity::Time, &Impairments::tx_rj},
    {"Tx_Dj", LinkSide::Tx, Quantity::Time, &Impairments::tx_dj},
    {"Tx_DCD", LinkSide::Tx, Quantity::Time, &Impairments::tx_dcd},
    {"Tx_Sj", LinkSide::Tx, Quantity::Time, &Impairments::tx_sj},
    {"Tx_Sj_Frequency", LinkSide::Tx, Quantity::Hertz, nullptr, &Impairments::tx_sj_frequency},
    {"Rx_Rj", LinkSide::Rx, Quantity::Time, &Impairments::rx_rj},
    {"Rx_Dj", LinkSide::Rx, Quantity::Time, &Impairments::rx_dj},
    {"Rx_DCD", LinkSide::Rx, Quantity::Time, &Impairments::rx_dcd},
    {"Rx_Sj", LinkSide::Rx, Quantity::Time, &Impairments::rx_sj},
    {"Rx_Sj_Frequency", LinkSide::Rx, Quantity::Hertz, nullptr, &Impairments::rx_sj_frequency},
    {"Rx_Clock_Recovery_Mean", LinkSide::Rx, Quantity::SignedTime, &Impairments::rx_clock_recovery_mean},
    {"Rx_Clock_Recovery_Rj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_rj},
    {"Rx_Clock_Recovery_Dj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_dj},
    {"Rx_Clock_Recovery_Sj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_sj},
    {"Rx_Clock_Recovery_DCD", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_dcd},
    {"Rx_Noise", LinkSide::Rx, Quantity::Volts, nullptr, &Impairments::rx_noise},
    {"Rx_Receiver_Sensitivity", LinkSide::Rx, Quantity::Volts, nullptr, &Impairments::rx_sensitivity},
};

const Field *find_field(const std::string &name)
{
    for (const Field &f : kFields)
        if (name == f.name)
            return &f;
    return nullptr;
}

void assign(Impairments &impairments, const Field &field, double value, bool in_ui, const std::string &what)
{
    if (value < 0.0 && field.quantity != Quantity::SignedTime)
        throw Error(what + ": " + field.name + " cannot be negative");
    if (field.time != nullptr) {
        impairments.*field.time = TimeAmount{value, in_ui};
    } else {
        if (in_ui)
            throw Error(what + ": " + field.name + " is not a time, so it cannot be given in UI");
        impairments.*field.number = value;
    }
}

void set_from_text(Impairments &impairments, const Field &field, const std::string &text, const std::string &what)
{
    if (field.time != nullptr) {
        const TimeAmount t = parse_time_amount(text);
        assign(impairments, field, t.value, t.in_ui, what);
        return;
    }
    double value = 0.0;
    if (!read_number(trim(text), value))
        throw Error(what + ": " + field.name + " must be a number, not '" + text + "'");
    assign(impairments, field, value, false, what);
}

} // namespace

std::vector<std::string> impairment_names()
{
    std::vector<std::string> names;
    for (const Field &f : kFields)
        names.emplace_back(f.name);
    return names;
}

std::vector<ImpairmentValue> nonzero_impairments(const Impairments &impairments)
{
    std::vector<ImpairmentValue> values;
    for (const Field &f : kFields) {
        ImpairmentValue v;
        v.name = f.name;
        v.is_time = f.time != nullptr;
        if (v.is_time)
            v.time = impairments.*f.time;
        else
            v.number = impairments.*f.number;
        if ((v.is_time ? v.time.value : v.number) != 0.0)
            values.push_back(v);
    }
    return values;
}

void set_impairment(Impairments &impairments, const std::string &name, const std::string &text)
{
    const Field *field = find_field(name);
    if (field == nullptr)
        throw Error("'" + name + "' is not a jitter or noise setting");
    set_from_text(impairments, *field, text, name);
    impairments.declared_at.erase(field->name);
}

std::vector<std::string> take_declared_impairments(Impairments &impairments,
                                                   const std::vector<AmiParameter> &reserved, LinkSide side,
                                                   const std::string &origin)
{
    std::vector<std::string> taken;
    for (const AmiParameter &p : reserved) {
        const Field *field = p.path.empty() ? nullptr : find_field(p.path.back());
        if (field == nullptr || field->side != side || p.usage == Usage::Out)
            continue;
        const std::string where = origin + ":" + std::to_string(p.line);
        double value = 0.0;
        switch (p.type) {
        case ValueType::UI:
        case ValueType::Float:
        case ValueType::Integer:
            if (!read_number(trim(p.default_value), value))
                throw Error(where + ": " + field->name + " must be a number, not '" + p.default_value + "'");
            assign(impairments, *field, value, p.type == ValueType::UI, where);
            break;
        case ValueType::String:
            set_from_text(impairments, *field, p.default_value, where);
            break;
        default:
            throw Error(where + ": " + field->name + " must be of Type UI or Float");
        }
        taken.emplace_back(field->name);
        impairments.declared_at[field->name] = where;
    }
    return taken;
}

void check_clock_offset(const Impairments &impairments, double bit_time)
{
    const double ui = impairments.rx_clock_recovery_mean.ui(bit_time);
    if (std::fabs(ui) > 0.5) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "Rx_Clock_Recovery_Mean of %.4g UI lies beyond half a UI: the clock would sample a "
                      "neighbouring bit",
                      ui);
        const auto declared = impairments.declared_at.find("Rx_Clock_Recovery_Mean");
        throw Error(declared == impairments.declared_at.end() ? text : declared->second + ": " + text);
    }
}

Impairments link_impairments(const std::vector<std::pair<std::string, std::string>> &set, const AmiFile *tx,
                             const AmiFile *rx)
{
    Impairments impairments;
    if (tx != nullptr)
        take_declared_impairments(impairments, tx->reserved, LinkSide::Tx, tx->origin);
    if (rx != nullptr)
        take_declared_impairments(impairments, rx->reserved, LinkSide::Rx, rx->origin);
    for (const auto &[name, text] : set)
        set_impairment(impairments, name, text);
    return impairments;
}

} // namespace ami_host
