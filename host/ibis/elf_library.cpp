// A bounds-checked reading of an ELF file's header and dynamic symbols: the
// file may be any file a kit names, so every offset in it is checked
// against the file's size before it is followed.
#include "ibis/elf_library.h"

#include "base/host_error.h"
#include "base/text.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace ami_host {

namespace {

using Bytes = std::vector<char>;

template <typename T>
bool read_at(const Bytes &bytes, uint64_t offset, T &out)
{
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return false;
    std::memcpy(&out, bytes.data() + offset, sizeof(T));
    return true;
}

// The NUL-terminated name at `offset` within the string table [start, start + size).
std::string name_at(const Bytes &bytes, uint64_t start, uint64_t size, uint64_t offset)
{
    if (offset >= size || start > bytes.size() || bytes.size() - start < size)
        return "";
    const char *first = bytes.data() + start + offset;
    const char *last = bytes.data() + start + size;
    return std::string(first, std::find(first, last, '\0'));
}

template <typename Header, typename Section, typename Symbol>
void read_symbols(const Bytes &bytes, ElfLibrary &library, const std::string &path)
{
    Header header;
    if (!read_at(bytes, 0, header))
        throw Error(path + ": a truncated ELF header");
    library.machine = header.e_machine;
    library.shared = header.e_type == ET_DYN;
    for (uint64_t s = 0; s < header.e_shnum; ++s) {
        Section section;
        if (!read_at(bytes, header.e_shoff + s * sizeof(Section), section) || section.sh_type != SHT_DYNSYM)
            continue;
        Section strings;
        if (!read_at(bytes, header.e_shoff + uint64_t{section.sh_link} * sizeof(Section), strings))
            throw Error(path + ": the dynamic symbols' string table is missing");
        for (uint64_t at = sizeof(Symbol); at + sizeof(Symbol) <= section.sh_size; at += sizeof(Symbol)) {
            Symbol symbol;
            if (!read_at(bytes, section.sh_offset + at, symbol))
                throw Error(path + ": the dynamic symbol table runs past the end of the file");
            if (symbol.st_shndx != SHN_UNDEF)
                library.exports.push_back(name_at(bytes, strings.sh_offset, strings.sh_size, symbol.st_name));
        }
    }
}

} // namespace

bool ElfLibrary::exports_symbol(const std::string &name) const
{
    return std::find(exports.begin(), exports.end(), name) != exports.end();
}

ElfLibrary read_elf_library(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot open " + path);
    const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
        throw Error(path + " is not an ELF file");
    if (bytes[EI_DATA] != ELFDATA2LSB)
        throw Error(path + " is not a little-endian ELF file");
    ElfLibrary library;
    if (bytes[EI_CLASS] == ELFCLASS64) {
        library.bits = 64;
        read_symbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(bytes, library, path);
    } else if (bytes[EI_CLASS] == ELFCLASS32) {
        library.bits = 32;
        read_symbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(bytes, library, path);
    } else {
        throw Error(path + " is an ELF file of an unknown class");
    }
    return library;
}

int host_bits()
{
    return static_cast<int>(sizeof(void *) * 8);
}

int host_machine()
{
#if defined(__x86_64__)
    return EM_X86_64;
#elif defined(__i386__)
    return EM_386;
#elif defined(__aarch64__)
    return EM_AARCH64;
#else
    return EM_NONE;
#endif
}

std::string host_platform()
{
    return host_bits() == 64 ? "Linux_gcc_64" : "Linux_gcc_32";
}

bool platform_matches(const std::string &platform, int bits)
{
    const std::string lower = lowercase(platform);
    const std::string tail = "_" + std::to_string(bits);
    return lower.rfind("linux", 0) == 0 && lower.size() > tail.size() &&
           lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace ami_host
