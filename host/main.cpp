// ami_host: runs IBIS-AMI models end to end, as a channel simulator does, and
// checks and sweeps them; the commands live in cli/.
#include "base/exit_status.h"
#include "base/host_error.h"
#include "cli/commands.h"

#include <exception>
#include <iostream>
#include <new>

int main(int argc, char **argv)
{
    using namespace ami_host::exit_status;
    try {
        return ami_host::run_command(argc, argv);
    } catch (const ami_host::ModelFault &e) {
        std::cerr << "ami_host: model fault: " << e.what() << '\n';
        return kModelFault;
    } catch (const ami_host::Error &e) {
        std::cerr << "ami_host: error: " << e.what() << '\n';
        return kBadInput;
    } catch (const std::bad_alloc &) {
        std::cerr << "ami_host: error: out of memory\n";
    } catch (const std::exception &e) {
        std::cerr << "ami_host: internal error: " << e.what() << '\n';
    }
    return kInternal;
}
