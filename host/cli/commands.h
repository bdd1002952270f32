// ami_host's commands: the end-to-end run of a link, `check` (a model's
// quality report), `sweep` (settings times channels, in shards), `merge`
// (shards' results into one table) and `ibis` (an IBIS file listed and its
// kit checked).
#pragma once

namespace ami_host {

// Runs the command argv[1] names, with argv[1] as its program name, or the
// end-to-end run when argv[1] names no command; returns the exit code.
// Throws Error for input the command cannot work with.
int run_command(int argc, char **argv);

int run_link_command(int argc, char **argv);
int run_check_command(int argc, char **argv);
int run_sweep_command(int argc, char **argv);
int run_merge_command(int argc, char **argv);
int run_ibis_command(int argc, char **argv);

} // namespace ami_host
