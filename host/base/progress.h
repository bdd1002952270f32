// A progress bar on the terminal for the long parts of a run.
#pragma once

#include <string>

namespace ami_host {

class Progress {
public:
    enum class Mode { Auto, Always, Never };

    // Auto draws the bar only when standard error is a terminal.
    explicit Progress(Mode mode);
    ~Progress();

    // Starts a bar for the next part of the run.
    void start(const std::string &label);
    // Moves the bar to `fraction` (0 to 1) of the part; redraws only when
    // the shown percentage changes.
    void update(double fraction);
    // Completes the bar and ends its line.
    void finish();

private:
    bool enabled_;
    bool open_ = false;
    std::string label_;
    int shown_ = -1;
};

} // namespace ami_host
