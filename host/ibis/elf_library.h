// What a model user checks of a shared library without loading it: its ELF
// class and machine (which host width can load it) and the functions it
// exports.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

struct ElfLibrary {
    int bits = 0;     // 32 or 64
    int machine = 0;  // e_machine: 3 for i386, 62 for x86-64
    bool shared = false; // a shared object (ET_DYN)
    std::vector<std::string> exports; // defined dynamic symbols

    bool exports_symbol(const std::string &name) const;
};

// Reads the header and the dynamic symbol table of a little-endian ELF
// file of either class. Throws Error for a file that cannot be read or is
// not such a file.
ElfLibrary read_elf_library(const std::string &path);

// This host's class and machine, and the IBIS platform name of its width
// (Linux_gcc_64 or Linux_gcc_32).
int host_bits();
int host_machine();
std::string host_platform();

// Whether an Executable line's platform (Linux_<compiler>_<bits>, any
// compiler) is for a Linux host of `bits`.
bool platform_matches(const std::string &platform, int bits);

} // namespace ami_host
