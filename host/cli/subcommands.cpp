// Dispatch to the commands by their name, the first argument.
#include "cli/subcommands.h"

#include <cstring>

namespace ami_host {

int run_subcommand(int argc, char **argv)
{
    if (argc < 2)
        return -1;
    const struct {
        const char *name;
        int (*run)(int, char **);
    } commands[] = {{"check", run_check_command}, {"sweep", run_sweep_command}, {"merge", run_merge_command}};
    for (const auto &command : commands)
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(argc - 1, argv + 1);
    return -1;
}

} // namespace ami_host
