// The settings are named after the options that set them (the embedded
// line's fixed ones after their fields), enumerations in the options' words,
// so that a refused merge names what to look at.
#include "sweep/sweep_inputs.h"

#include "base/file_digest.h"
#include "sweep/sweep_point.h"

namespace ami_host {

namespace {

using json = nlohmann::ordered_json;

const char *end_name(CrosstalkEnd end) { return end == CrosstalkEnd::Near ? "near" : "far"; }

const char *dc_name(DcMethod method)
{
    switch (method) {
    case DcMethod::HoldLowest:
        return "hold";
    case DcMethod::Given:
        return "given";
    case DcMethod::Extrapolate:
        break;
    }
    return "extrapolate";
}

void add_model(json &settings, const std::string &side, const ModelChoice &model)
{
    settings[side + "_model"] = model.library;
    settings[side + "_ami"] = model.ami;
    settings[side] = model.overrides;
}

void add_channel(json &settings, const ChannelSettings &channel)
{
    settings["channel_kind"] = channel.kind == ResponseKind::Step ? "step" : "impulse";
    const LineParameters &line = channel.line;
    settings["line_length"] = line.length;
    settings["line_permittivity"] = line.permittivity;
    settings["line_loss_tangent"] = line.loss_tangent;
    settings["line_conductor_loss"] = line.conductor_loss;
    settings["line_reference_frequency"] = line.reference_frequency;
    settings["line_skin_onset"] = line.skin_onset;
    const TouchstoneChoice &touchstone = channel.touchstone;
    settings["port_numbering"] = touchstone.numbering == PortNumbering::Halves ? "halves" : "adjacent";
    settings["single_ended"] = {touchstone.single_from, touchstone.single_to};
    settings["dc"] = dc_name(touchstone.dc_method);
    settings["dc_value"] = touchstone.dc_value;
    json xtalk = json::array(), aggressors = json::array();
    for (const CrosstalkFile &file : channel.xtalk_files)
        xtalk.push_back(file.path + ":" + end_name(file.end));
    for (const CrosstalkPair &pair : channel.aggressor_pairs)
        aggressors.push_back(std::to_string(pair.pair) + ":" + end_name(pair.end));
    settings["xtalk"] = xtalk;
    settings["aggressor"] = aggressors;
}

json settings_record(const RunSettings &s)
{
    json settings = json::object();
    add_model(settings, "tx", s.tx);
    add_model(settings, "rx", s.rx);
    settings["bit_rate"] = s.bit_rate;
    settings["samples_per_bit"] = s.samples_per_bit;
    settings["prbs"] = s.prbs;
    settings["bits"] = s.bits;
    settings["block_size"] = s.block_size;
    settings["fft_size"] = s.fft_size;
    add_channel(settings, s.channel);
    json impairments = json::array();
    for (const auto &[name, value] : s.impairments.set)
        impairments.push_back(name + "=" + value);
    settings["impairments"] = impairments;
    settings["target_ber"] = s.impairments.target_ber;
    settings["seed"] = s.impairments.seed;
    settings["settle_tolerance"] = s.settle_tolerance;
    settings["time_domain"] = s.time_domain;
    settings["ber_eye"] = s.ber_eye;
    return settings;
}

json file_digests(const RunSettings &s, const std::vector<std::string> &channels)
{
    std::vector<std::string> paths = {s.tx.library, s.tx.ami, s.rx.library, s.rx.ami};
    for (const std::string &channel : channels)
        if (channel != kDefaultChannel)
            paths.push_back(channel);
    for (const CrosstalkFile &file : s.channel.xtalk_files)
        paths.push_back(file.path);
    json digests = json::object();
    for (const std::string &path : paths)
        if (!path.empty() && !digests.contains(path))
            digests[path] = digest_text(file_digest(path));
    return digests;
}

} // namespace

SweepInputs sweep_inputs(const RunSettings &settings, const std::vector<std::string> &channels)
{
    return {settings_record(settings), file_digests(settings, channels)};
}

} // namespace ami_host
