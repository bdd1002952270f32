// ami_host ibis: what an IBIS file holds (components, pins, differential
// pairs, models with their linearised buffers and executables) and whether
// the kit around it is complete.
#include "cli/commands.h"

#include "base/exit_status.h"
#include "base/host_error.h"
#include "cli/command_line.h"
#include "ibis/kit_check.h"
#include "ibis/linear_buffer.h"

#include <iostream>
#include <map>

namespace ami_host {

namespace {

constexpr const char *kDescription =
    "ami_host ibis: lists an IBIS file's components, pins, differential pairs and models\n"
    "(type, C_comp, the output or input resistance of the linearised buffer) and checks\n"
    "the kit: each Linux Executable line's library present beside the file, of its\n"
    "platform's ELF class and machine, exporting AMI_Init, AMI_GetWave and AMI_Close, and\n"
    "its .ami file present and readable. Exit status 1 when the kit is broken, 3 when the\n"
    "file cannot be read.";

void list_package(const IbisComponent &c, Corner corner)
{
    std::cout << "  package: R_pkg " << (c.r_pkg.present() ? ohms_text(c.r_pkg.at(corner)) : "none") << ", L_pkg "
              << (c.l_pkg.present() ? henries_text(c.l_pkg.at(corner)) : "none") << ", C_pkg "
              << (c.c_pkg.present() ? farads_text(c.c_pkg.at(corner)) : "none") << '\n';
}

void list_pins(const IbisComponent &c, Corner corner)
{
    for (const IbisPin &pin : c.pins) {
        std::cout << "  pin " << pin.name << ' ' << pin.signal << ' ' << pin.model;
        if (pin.r_pin.present())
            std::cout << ", R_pin " << ohms_text(pin.r_pin.at(corner));
        if (pin.l_pin.present())
            std::cout << ", L_pin " << henries_text(pin.l_pin.at(corner));
        if (pin.c_pin.present())
            std::cout << ", C_pin " << farads_text(pin.c_pin.at(corner));
        std::cout << '\n';
    }
    for (const DiffPin &pair : c.diff_pins)
        std::cout << "  differential pair: " << pair.pin << " and " << pair.inverting << " (inverting)\n";
}

// The buffer's resistance, or why there is none.
std::string buffer_text(const IbisFile &file, const IbisModel &model, Corner corner)
{
    try {
        if (model.drives())
            return "output resistance " + ohms_text(output_buffer(file, model, corner).resistance);
        if (model.receives()) {
            const LinearBuffer in = input_buffer(file, model, corner);
            return "input resistance " + (in.conductance > 0.0 ? ohms_text(in.resistance) : std::string("open"));
        }
    } catch (const Error &e) {
        return e.what();
    }
    return "no signal buffer";
}

void list_models(const IbisFile &file, Corner corner, const std::map<const Executable *, std::string> &checked)
{
    for (const IbisModel &m : file.models) {
        std::cout << "Model " << m.name << " (" << file.where(m.line) << "): "
                  << (m.type.empty() ? "no Model_type" : m.type) << ", C_comp "
                  << (m.c_comp.present() ? farads_text(m.c_comp.at(corner)) : "none") << ", "
                  << buffer_text(file, m, corner) << '\n';
        if (m.algorithmic_line == 0)
            std::cout << "  no [Algorithmic Model]\n";
        for (const Executable &e : m.executables) {
            const auto found = checked.find(&e);
            std::cout << "  " << e.platform << ' ' << e.library << ' ' << e.ami << ": "
                      << (found == checked.end() ? "not checked (not a Linux platform)"
                                                 : found->second.empty() ? "ok" : "BROKEN")
                      << '\n';
        }
    }
}

} // namespace

int run_ibis_command(int argc, char **argv)
{
    CLI::App app{kDescription, "ami_host ibis"};
    use_help_layout(app);
    std::string path;
    Corner corner = Corner::Typ;
    app.add_option("file", path, "the .ibs file")->required()->type_name("FILE");
    const std::map<std::string, Corner> corners{{"typ", Corner::Typ}, {"min", Corner::Min}, {"max", Corner::Max}};
    app.add_option("--corner", corner, "the corner whose values are listed")
        ->transform(named_choice(corners))
        ->type_name(choice_names(corners))
        ->default_str("typ");
    if (const int code = parse_or_exit(app, argc, argv); code >= 0)
        return code;

    const IbisFile file = read_ibis(path);
    std::cout << "IBIS file " << file.path << " (version " << (file.version.empty() ? "not given" : file.version)
              << ")\n";
    for (const IbisComponent &c : file.components) {
        std::cout << "Component " << c.name << " (" << file.where(c.line) << "), manufacturer "
                  << (c.manufacturer.empty() ? "not given" : c.manufacturer) << '\n';
        list_package(c, corner);
        list_pins(c, corner);
    }
    const std::vector<ExecutableCheck> checks = check_kit(file);
    std::map<const Executable *, std::string> checked;
    for (const ExecutableCheck &check : checks)
        checked[check.executable] = check.problem;
    list_models(file, corner, checked);
    int broken = 0;
    for (const ExecutableCheck &check : checks)
        if (!check.problem.empty()) {
            std::cerr << "ami_host ibis: " << check.problem << '\n';
            ++broken;
        }
    std::cout << "Kit: " << checks.size() << " Linux executables checked, " << broken << " broken\n";
    return broken > 0 ? exit_status::kFailureFound : exit_status::kSuccess;
}

} // namespace ami_host
