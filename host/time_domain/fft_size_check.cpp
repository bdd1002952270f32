// A segment too short for its response would be lengthened without a word;
// the run refuses it instead, so that the size used is the size asked for.
#include "time_domain/fft_size_check.h"

#include "base/host_error.h"
#include "time_domain/convolver.h"

#include <algorithm>
#include <string>

namespace ami_host {

namespace {

// The responses convolved sample by sample in segments: the channel, the
// aggressors' and, with the transmitter's jitter, the linear reference.
size_t longest_segmented_response(const TimeDomainSettings &settings, const TimeDomainLink &link)
{
    size_t longest = link.channel.size();
    for (const AggressorLink &aggressor : link.aggressors)
        longest = std::max(longest, aggressor.channel.size());
    if (settings.tx_jitter)
        longest = std::max(longest, link.reference.size());
    return longest;
}

// 3200 as "3,200".
std::string grouped(size_t number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            text += ',';
        text += digits[k];
    }
    return text;
}

} // namespace

void check_fft_size(const TimeDomainSettings &settings, const TimeDomainLink &link)
{
    if (settings.fft_size == 0)
        return;
    const size_t samples = longest_segmented_response(settings, link);
    const size_t least = least_fft_size(samples);
    if (settings.fft_size < least)
        throw Error("--fft-size " + std::to_string(settings.fft_size) + " is too small for this link's " +
                    grouped(samples) + "-sample response: give at least " + std::to_string(least) +
                    ", or leave it out");
}

} // namespace ami_host
