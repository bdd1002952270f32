// A clock slips when it is not one bit after the clock counted before it,
// unless a clock between them did not count.
#include "time_domain/error_count.h"

namespace ami_host {

int ErrorCount::count(const ClockDecision &d, const SentBits &bits, DataResult &data)
{
    if (have_slot_ && !d.after_gap && d.slot != previous_slot_ + 1)
        ++data.clock_slips;
    have_slot_ = true;
    previous_slot_ = d.slot;
    const long long sent = d.slot - data.latency;
    const int bit = sent >= 0 && sent < bits_in_run_ ? bits.at(sent) : -1;
    if (bit < 0)
        return bit;
    ++data.bits_counted;
    data.bit_errors += !d.resolved || d.one != (bit == 1);
    return bit;
}

std::optional<long long> ErrorCount::last_slot() const
{
    if (!have_slot_)
        return std::nullopt;
    return previous_slot_;
}

} // namespace ami_host
