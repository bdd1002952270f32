// The progress bar: one line on standard error, redrawn in place.
#include "base/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace ami_host {

Progress::Progress(Mode mode)
    : enabled_(mode == Mode::Always || (mode == Mode::Auto && isatty(STDERR_FILENO) != 0))
{
}

Progress::~Progress()
{
    if (open_)
        std::fputc('\n', stderr);
}

void Progress::start(const std::string &label)
{
    if (open_)
        finish();
    label_ = label;
    shown_ = -1;
    open_ = enabled_;
    update(0.0);
}

void Progress::update(double fraction)
{
    if (!open_)
        return;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (percent == shown_)
        return;
    shown_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%-28s [%.*s%*s] %3d%%", label_.c_str(), filled, "##############################",
                 kWidth - filled, "", percent);
    std::fflush(stderr);
}

void Progress::finish()
{
    if (!open_)
        return;
    update(1.0);
    std::fputc('\n', stderr);
    open_ = false;
}

} // namespace ami_host
