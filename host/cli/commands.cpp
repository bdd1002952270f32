// Dispatch to the commands by their name, the first argument.
#include "cli/commands.h"

#include <cstring>

namespace ami_host {

int run_command(int argc, char **argv)
{
    const struct {
        const char *name;
        int (*run)(int, char **);
    } commands[] = {{"check", run_check_command}, {"sweep", run_sweep_command}, {"merge", run_merge_command},
                  {"ibis", run_ibis_command}};
    if (argc >= 2)
        for (const auto &command : commands)
            if (std::strcmp(argv[1], command.name) == 0)
                return command.run(argc - 1, argv + 1);
    return run_link_command(argc, argv);
}

} // namespace ami_host
