// Touchstone channel and crosstalk options.
#include "cli/channel_options.h"

#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <map>

namespace ami_host {

namespace {

// A name with an optional ":near" or ":far" after it (far when none).
struct EndedName {
    std::string name;
    CrosstalkEnd end = CrosstalkEnd::Far;
};

EndedName split_end(const std::string &text)
{
    for (const auto &[suffix, end] : {std::pair{":near", CrosstalkEnd::Near}, std::pair{":far", CrosstalkEnd::Far}}) {
        const std::string s = suffix;
        if (text.size() > s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0)
            return {text.substr(0, text.size() - s.size()), end};
    }
    return {text, CrosstalkEnd::Far};
}

CrosstalkPair aggressor_pair(const std::string &text)
{
    const EndedName pair = split_end(text);
    const std::string &number = pair.name;
    if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos ||
        std::stol(number) < 1)
        throw CLI::ValidationError("--aggressor " + text,
                                   "give a pair number from 1 (pair 0 is the victim), with :near or :far");
    return {std::stoi(number), pair.end};
}

void add_touchstone_options(CLI::App &app, ChannelSettings &o)
{
    const std::map<std::string, PortNumbering> numberings{{"adjacent", PortNumbering::Adjacent},
                                                          {"halves", PortNumbering::Halves}};
    app.add_option("--port-numbering", o.touchstone.numbering,
                   "Touchstone files of 4+ ports: adjacent (lines 1->2, 3->4, ...) or halves (1->3, 2->4 for "
                   "four ports); the first two lines form differential pair 0, the victim")
        ->transform(named_choice(numberings))
        ->type_name(choice_names(numberings))
        ->default_str("adjacent")
        ->group("Channel");
    app.add_option_function<std::vector<int>>(
           "--single-ended",
           [&o](const std::vector<int> &ports) {
               o.touchstone.single_from = ports[0];
               o.touchstone.single_to = ports[1];
           },
           "Touchstone channel: the single-ended path FROM,TO instead of the differential one")
        ->expected(2)
        ->delimiter(',')
        ->check(CLI::Range(1, 9999))
        ->type_name("FROM,TO")
        ->group("Channel");
    const std::map<std::string, DcMethod> methods{
        {"extrapolate", DcMethod::Extrapolate}, {"hold", DcMethod::HoldLowest}, {"given", DcMethod::Given}};
    app.add_option("--dc", o.touchstone.dc_method,
                   "Touchstone channel, the transfer at 0 Hz: extrapolate (linearly from the two lowest points), "
                   "hold (the lowest point's magnitude) or given (--dc-value)")
        ->transform(named_choice(methods))
        ->type_name(choice_names(methods))
        ->default_str("extrapolate")
        ->group("Channel");
    app.add_option_function<double>(
           "--dc-value",
           [&o](double value) {
               o.touchstone.dc_method = DcMethod::Given;
               o.touchstone.dc_value = value;
           },
           "Touchstone channel: the transfer at 0 Hz (implies --dc given)")
        ->check(CLI::Range(-10.0, 10.0))
        ->group("Channel");
    app.add_option("--write-touchstone", o.write_touchstone,
                   "write the channel as a matched two-port, 10 MHz to 50 GHz in 10 MHz steps, and stop: no model "
                   "runs and no output folder is made (FILE's own folder is created if need be)")
        ->type_name("FILE.s2p")
        ->group("Channel");
}

void add_crosstalk_options(CLI::App &app, ChannelSettings &o)
{
    app.add_option_function<std::vector<std::string>>(
           "--xtalk",
           [&o](const std::vector<std::string> &texts) {
               for (const std::string &text : texts) {
                   const EndedName file = split_end(text);
                   o.xtalk_files.push_back({file.name, file.end});
               }
           },
           "crosstalk into the receiver, repeatable: a two-port (S21) or one pair (Sdd21) is the crosstalk "
           "path itself; a file of more pairs adds each pair after the first as an aggressor, far-end "
           "unless FILE:near; a time/value file (--channel-kind) is the crosstalk response")
        ->type_name("FILE[:near]")
        ->group("Crosstalk");
    app.add_option_function<std::vector<std::string>>(
           "--aggressor",
           [&o](const std::vector<std::string> &texts) {
               for (const std::string &text : texts)
                   o.aggressor_pairs.push_back(aggressor_pair(text));
           },
           "crosstalk from differential pair N (from 1) of the Touchstone channel's own file, far-end "
           "unless N:near; repeatable")
        ->type_name("N[:near]")
        ->group("Crosstalk");
}

} // namespace

void add_channel_options(CLI::App &app, ChannelSettings &settings)
{
    add_touchstone_options(app, settings);
    add_crosstalk_options(app, settings);
}

std::string check_channel_options(const ChannelSettings &o)
{
    const bool touchstone = !o.file.empty() && is_touchstone_name(o.file);
    const TouchstoneChoice defaults;
    if (!touchstone && (o.touchstone.single_from > 0 || o.touchstone.dc_method != defaults.dc_method))
        return "--single-ended, --dc and --dc-value choose from a Touchstone channel (--channel FILE.sNp)";
    if (!touchstone && !o.aggressor_pairs.empty())
        return "--aggressor takes pairs of a Touchstone channel's file (--channel FILE.sNp)";
    return "";
}

} // namespace ami_host
