// The commands ami_host has besides its end-to-end run: `check` (a model's
// quality report), `sweep` (settings times channels, in shards) and `merge`
// (shards' results into one table).
#pragma once

namespace ami_host {

// Runs the command argv[1] names, with argv[1] as its program name, and
// returns its exit code; -1 when argv[1] names no command (the end-to-end
// run then goes on). Throws Error for input the command cannot work with.
int run_subcommand(int argc, char **argv);

int run_check_command(int argc, char **argv);
int run_sweep_command(int argc, char **argv);
int run_merge_command(int argc, char **argv);

} // namespace ami_host
