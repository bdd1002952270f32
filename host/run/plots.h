// Drawing the run's pictures with the plotting script (Python, matplotlib).
#pragma once

#include <string>
#include <vector>

namespace ami_host {

// The plotting script that goes with this executable: plot_results.py
// beside it (the build tree), or in ../share/ami_host (an installed host).
// Throws Error, naming both places, when neither holds it.
std::string default_plot_script();

// Runs `python` (empty: /usr/bin/python3 when present, else python3 on the
// path) on `script` (empty: the default one) with `dir`, where report.json and waveforms.json are;
// returns the PNG files it wrote. Throws Error when the script cannot be
// started, fails, or leaves a picture missing or empty.
std::vector<std::string> draw_plots(const std::string &python, const std::string &script, const std::string &dir);

// Draws the statistical eye and its bathtubs from <dir>/report.json with
// `script` (plot_stat_eye.py) into `dir`.
std::vector<std::string> draw_stat_eye_plots(const std::string &python, const std::string &script,
                                             const std::string &dir);

// Removes every picture the two scripts draw from `dir`.
void remove_pictures(const std::string &dir);

} // namespace ami_host
