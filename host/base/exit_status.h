// ami_host's exit statuses, one set for every command, so that a script can
// tell a bad command line from bad input, a misbehaving model and a fault of
// the host itself.
#pragma once

namespace ami_host::exit_status {

constexpr int kSuccess = 0;
// A check found a failure (ami_host check), or a sweep shard had no point.
constexpr int kFailureFound = 1;
// The command line cannot be used.
constexpr int kUsage = 2;
// A file or a setting the host cannot work with.
constexpr int kBadInput = 3;
// A model crashed, exited, hung, returned 0 from AMI_Init or AMI_GetWave,
// wrote NaN or infinity, or wrote past its arrays.
constexpr int kModelFault = 4;
// The host itself failed: out of memory, an unexpected exception.
constexpr int kInternal = 5;

} // namespace ami_host::exit_status
