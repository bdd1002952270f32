// Whether the FFT segment a run asks for suits the responses it convolves.
#pragma once

#include "time_domain/time_domain_link.h"

namespace ami_host {

// Throws Error when `settings` ask for an FFT segment (fft_size not 0)
// shorter than the longest response convolved segment by segment needs,
// naming the smallest size that works.
void check_fft_size(const TimeDomainSettings &settings, const TimeDomainLink &link);

} // namespace ami_host
