// A model kit checked as a model user receives it: every Linux Executable
// line's library present, of its platform's ELF class and machine, exporting
// AMI_Init, AMI_GetWave and AMI_Close, and its .ami file present and
// readable by the host.
#pragma once

#include "ibis/ibis_file.h"

#include <string>
#include <vector>

namespace ami_host {

struct ExecutableCheck {
    const IbisModel *model = nullptr;
    const Executable *executable = nullptr;
    std::string problem; // empty: the line is sound; else what is wrong, naming the .ibs line
};

// The folder the kit's files are named relative to: the .ibs file's own.
std::string kit_path(const IbisFile &file, const std::string &name);

// What is wrong with `executable`'s library for a Linux host of `bits`
// ("" for nothing), naming the .ibs line.
std::string library_problem(const IbisFile &file, const Executable &executable, int bits);

// Every Executable line for Linux, in the order of the file.
std::vector<ExecutableCheck> check_kit(const IbisFile &file);

} // namespace ami_host
