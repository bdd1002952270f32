// Resolving a side of the link in an IBIS file: pin to model (through its
// selector's default), model to this platform's Executable, and the
// package of both legs of the pin's pair.
#include "ibis/ibis_link.h"

#include "base/host_error.h"
#include "ibis/elf_library.h"
#include "ibis/kit_check.h"

#include <filesystem>
#include <tuple>

namespace ami_host {

namespace {

enum class Direction { Tx, Rx };

const char *side_name(Direction d)
{
    return d == Direction::Tx ? "Tx" : "Rx";
}

bool suits(const IbisModel &model, Direction d)
{
    return d == Direction::Tx ? model.drives() : model.receives();
}

// A pin's or an option's model name to the model: a selector gives its first.
const IbisModel *model_named(const IbisFile &file, const std::string &name)
{
    if (const IbisModel *m = file.model(name))
        return m;
    const ModelSelector *s = file.selector(name);
    return s != nullptr && !s->models.empty() ? file.model(s->models.front()) : nullptr;
}

// [COMPONENT:]PIN; the component may be left out when the file has one.
void find_pin(const IbisFile &file, const std::string &text, IbisEnd &end)
{
    const size_t colon = text.find(':');
    const std::string component = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::string pin = colon == std::string::npos ? text : text.substr(colon + 1);
    for (const IbisComponent &c : file.components) {
        if (!component.empty() && c.name != component)
            continue;
        if (const IbisPin *p = c.pin(pin)) {
            end.component = &c;
            end.pin = p;
            return;
        }
    }
    throw Error(file.path + ": no pin " + text + (component.empty() ? "" : " (component:pin)") + " in the file");
}

// The first pin whose model has an Executable and works in direction `d`.
void first_pin(const IbisFile &file, Direction d, IbisEnd &end)
{
    for (const IbisComponent &c : file.components)
        for (const IbisPin &p : c.pins) {
            const IbisModel *m = model_named(file, p.model);
            if (m != nullptr && suits(*m, d) && !m->executables.empty()) {
                end.component = &c;
                end.pin = &p;
                return;
            }
        }
    throw Error(file.path + ": no pin has " + (d == Direction::Tx ? "a transmitter" : "a receiver") +
                " model with an [Algorithmic Model]; name one with --" + (d == Direction::Tx ? "tx" : "rx") +
                "-ibis-model");
}

// A model chosen by name takes its package from the first pin that uses it.
void pin_of_model(const IbisFile &file, IbisEnd &end)
{
    for (const IbisComponent &c : file.components)
        for (const IbisPin &p : c.pins)
            if (model_named(file, p.model) == end.model) {
                end.component = &c;
                end.pin = &p;
                return;
            }
}

void choose_model(const IbisFile &file, const IbisSideChoice &choice, IbisEnd &end)
{
    if (!choice.model.empty()) {
        end.model = model_named(file, choice.model);
        if (end.model == nullptr)
            throw Error(file.path + ": no model or model selector " + choice.model + " in the file");
        return;
    }
    const std::string &name = end.pin->model;
    end.model = model_named(file, name);
    if (end.model == nullptr)
        throw Error(file.where(end.pin->line) + ": pin " + end.pin->name + " (" + end.pin->signal +
                    ") has no signal model (" + name + ")");
}

void check_model(const IbisFile &file, Direction d, const IbisEnd &end)
{
    const IbisModel &m = *end.model;
    if (!suits(m, d))
        throw Error(file.where(m.type_line > 0 ? m.type_line : m.line) + ": model " + m.name + " is of Model_type " +
                    (m.type.empty() ? "(none)" : m.type) + ", not " +
                    (d == Direction::Tx ? "an output (Tx)" : "an input (Rx)"));
    if (m.algorithmic_line == 0)
        throw Error(file.where(m.line) + ": model " + m.name + " has no [Algorithmic Model]");
}

// This platform's Executable line, its library and .ami file checked.
void choose_executable(const IbisFile &file, IbisEnd &end)
{
    const IbisModel &m = *end.model;
    for (const Executable &e : m.executables) {
        if (!platform_matches(e.platform, host_bits()))
            continue;
        if (const std::string problem = library_problem(file, e, host_bits()); !problem.empty())
            throw Error(problem);
        end.library = kit_path(file, e.library);
        end.ami = kit_path(file, e.ami);
        if (!std::filesystem::is_regular_file(end.ami))
            throw Error(file.where(e.line) + ": the .ami file " + end.ami + " is missing");
        end.notes.push_back(std::string("model ") + m.name + ": " + e.platform + " " + e.library + " " + e.ami + " (" +
                            file.where(e.line) + ")");
        return;
    }
    throw Error(file.where(m.algorithmic_line) + ": model " + m.name + " has no Executable for " + host_platform());
}

std::string element_text(char element, double value)
{
    return element == 'R' ? ohms_text(value) : element == 'L' ? henries_text(value) : farads_text(value);
}

// A leg's package: the pin's own R_pin, L_pin and C_pin where given, else
// the component's [Package] values.
PackageLeg leg_package(const IbisFile &file, const IbisComponent *c, const IbisPin *pin, Corner corner,
                       const std::string &leg, std::vector<std::string> &notes)
{
    PackageLeg p;
    std::string text;
    const auto take = [&](const CornerValues *own, const CornerValues *shared, char element, double &out) {
        const CornerValues *v = own != nullptr && own->present() ? own : shared;
        if (v == nullptr || !v->present())
            return;
        out = v->at(corner);
        text += std::string(text.empty() ? "" : ", ") + element + " " + element_text(element, out) + " (" +
                file.where(v->line) + ")";
    };
    take(pin ? &pin->r_pin : nullptr, c ? &c->r_pkg : nullptr, 'R', p.r);
    take(pin ? &pin->l_pin : nullptr, c ? &c->l_pkg : nullptr, 'L', p.l);
    take(pin ? &pin->c_pin : nullptr, c ? &c->c_pkg : nullptr, 'C', p.c);
    notes.push_back("package of " + leg + ": " + (text.empty() ? "none" : text));
    return p;
}

IbisEnd resolve_side(const IbisFile &file, const IbisSideChoice &choice, Direction d, Corner corner)
{
    IbisEnd end;
    if (!choice.pin.empty())
        find_pin(file, choice.pin, end);
    else if (choice.model.empty())
        first_pin(file, d, end);
    choose_model(file, choice, end);
    check_model(file, d, end);
    if (end.pin == nullptr)
        pin_of_model(file, end);
    const std::string side = side_name(d);
    if (end.pin != nullptr)
        end.notes.push_back("pin " + end.pin->name + " (" + end.pin->signal + ") of component " +
                            end.component->name + " (" + file.where(end.pin->line) + ")");
    choose_executable(file, end);
    end.partner = end.pin != nullptr ? end.component->partner(*end.pin) : nullptr;
    const std::string plus = end.pin ? "pin " + end.pin->name : side + " (no pin chosen)";
    end.package[0] = leg_package(file, end.component, end.pin, corner, plus, end.notes);
    if (end.partner != nullptr) {
        end.package[1] = leg_package(file, end.component, end.partner, corner, "pin " + end.partner->name, end.notes);
    } else {
        end.package[1] = end.package[0];
        end.notes.push_back("the other leg's package is taken as " + plus + "'s (no [Diff Pin] partner)");
    }
    return end;
}

void prefix_notes(const std::string &side, std::vector<std::string> &notes)
{
    for (std::string &n : notes)
        n = side + ": " + n;
}

} // namespace

IbisLink resolve_ibis_link(const IbisChoice &choice)
{
    IbisLink link;
    link.file = read_ibis(choice.file);
    link.tx = resolve_side(link.file, choice.tx, Direction::Tx, choice.corner);
    link.rx = resolve_side(link.file, choice.rx, Direction::Rx, choice.corner);
    link.tx_buffer = output_buffer(link.file, *link.tx.model, choice.corner);
    link.rx_buffer = input_buffer(link.file, *link.rx.model, choice.corner);
    return link;
}

AnalogEnds analog_ends(const IbisLink &link)
{
    AnalogEnds e;
    e.tx_resistance = link.tx_buffer.resistance;
    e.tx_c_comp = link.tx_buffer.c_comp;
    e.tx_package = link.tx.package;
    e.rx_conductance = link.rx_buffer.conductance;
    e.rx_c_comp = link.rx_buffer.c_comp;
    e.rx_rac = link.rx_buffer.rac;
    e.rx_cac = link.rx_buffer.cac;
    e.rx_package = link.rx.package;
    for (const auto &[side, end, buffer] : {std::tuple{"Tx", &link.tx, &link.tx_buffer}, {"Rx", &link.rx, &link.rx_buffer}}) {
        std::vector<std::string> notes = end->notes;
        notes.insert(notes.end(), buffer->sources.begin(), buffer->sources.end());
        prefix_notes(side, notes);
        e.notes.insert(e.notes.end(), notes.begin(), notes.end());
    }
    return e;
}

} // namespace ami_host
