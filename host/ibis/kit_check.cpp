// The kit check: each file an Executable line names, examined without
// loading it, so that a library of the other width is checked too.
#include "ibis/kit_check.h"

#include "base/host_error.h"
#include "ibis/elf_library.h"
#include "model/ami_file.h"

#include <elf.h>

#include <filesystem>

namespace ami_host {

std::string kit_path(const IbisFile &file, const std::string &name)
{
    const std::filesystem::path folder = std::filesystem::path(file.path).parent_path();
    return (folder / name).string();
}

std::string library_problem(const IbisFile &file, const Executable &executable, int bits)
{
    const std::string where = file.where(executable.line) + ": ";
    const std::string path = kit_path(file, executable.library);
    if (!std::filesystem::is_regular_file(path))
        return where + "the library " + path + " is missing";
    ElfLibrary library;
    try {
        library = read_elf_library(path);
    } catch (const Error &e) {
        return where + e.what();
    }
    const int machine = bits == 64 ? EM_X86_64 : EM_386;
    if (library.bits != bits || library.machine != machine || !library.shared)
        return where + path + " is not a " + std::to_string(bits) + "-bit x86 shared library, as " +
               executable.platform + " needs (it is a " + std::to_string(library.bits) + "-bit ELF " +
               (library.shared ? "shared object" : "file") + " for machine " + std::to_string(library.machine) + ")";
    std::string lacking;
    for (const char *entry : {"AMI_Init", "AMI_GetWave", "AMI_Close"})
        if (!library.exports_symbol(entry))
            lacking += std::string(lacking.empty() ? "" : ", ") + entry;
    if (!lacking.empty())
        return where + path + " does not export " + lacking;
    return "";
}

namespace {

std::string ami_problem(const IbisFile &file, const Executable &executable)
{
    const std::string path = kit_path(file, executable.ami);
    if (!std::filesystem::is_regular_file(path))
        return file.where(executable.line) + ": the .ami file " + path + " is missing";
    try {
        read_ami_file(path);
    } catch (const Error &e) {
        return file.where(executable.line) + ": " + e.what();
    }
    return "";
}

} // namespace

std::vector<ExecutableCheck> check_kit(const IbisFile &file)
{
    std::vector<ExecutableCheck> checks;
    for (const IbisModel &model : file.models)
        for (const Executable &executable : model.executables)
            for (int bits : {64, 32})
                if (platform_matches(executable.platform, bits)) {
                    std::string problem = library_problem(file, executable, bits);
                    if (problem.empty())
                        problem = ami_problem(file, executable);
                    checks.push_back({&model, &executable, problem});
                }
    return checks;
}

} // namespace ami_host
