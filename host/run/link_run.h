// One link run: the models, the channel and the flows assembled from a
// run's settings, the same for a single run and for each point of a sweep.
#pragma once

#include "channel/link_channels.h"
#include "model/ami_file.h"
#include "model/impairments.h"
#include "model/model_loader.h"
#include "run/report.h"
#include "run/run_settings.h"

#include <memory>
#include <string>
#include <vector>

namespace ami_host {

// One side of the link: its .ami file and parameter string, and its library
// once loaded.
struct LinkModel {
    ModelRecord record;
    AmiFile ami;
    std::shared_ptr<const ModelLibrary> library;

    bool present() const { return record.present; }
    bool getwave() const { return present() && ami.getwave_exists(); }
    const AmiFile *ami_file() const { return present() ? &ami : nullptr; } // null without a model
};

// What a link runs on.
struct LinkSetup {
    LinkModel tx, rx;
    Impairments impairments; // the .ami files' and the settings'
    std::shared_ptr<const LinkChannels> channels;
};

// Reads the model's .ami file and builds its parameter string from
// `choice`'s overrides; `side` is "Tx" or "Rx". Nothing is loaded, so that a
// bad file or setting is reported before any model runs. Throws Error.
LinkModel prepare_model(const ModelChoice &choice, const std::string &side);

// Rebuilds the parameter string with `overrides` (NAME=VALUE) over the .ami
// file's defaults. Throws Error for a setting the .ami file refuses.
void set_overrides(LinkModel &model, const std::vector<std::string> &overrides);

// Both models prepared and the impairments taken, without channels. Throws
// Error for the first input it cannot use.
LinkSetup prepare_models(const RunSettings &settings);

// prepare_models, then the channels built. Throws Error for the first input
// it cannot use.
LinkSetup prepare_link(const RunSettings &settings);

// Loads the libraries. With `getwave_needed` a model whose .ami file
// declares GetWave_Exists must export AMI_GetWave. Throws Error.
void load_models(LinkSetup &setup, bool getwave_needed);

// Runs the flows the settings ask for on fresh instances of the loaded
// models. Throws Error, naming the model, when a model fails.
RunRecord run_link(const LinkSetup &setup, const RunSettings &settings);

// Adds the through channel's insertion loss up to the bit rate to `run`, for
// the single run's report; a sweep's points, which have no use for it, are
// spared its cost.
void record_loss_curve(const LinkSetup &setup, const RunSettings &settings, RunRecord &run);

} // namespace ami_host
