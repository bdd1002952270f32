// FNV-1a over a file streamed in chunks.
#include "base/file_digest.h"

#include "base/host_error.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace ami_host {

namespace {

constexpr uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr std::streamsize kChunkBytes = 1 << 16;

} // namespace

uint64_t fnv1a(std::string_view bytes, uint64_t state)
{
    for (const char byte : bytes) {
        state ^= static_cast<unsigned char>(byte);
        state *= kFnvPrime;
    }
    return state;
}

uint64_t file_digest(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot read '" + path + "' for its digest: no such file or not readable");
    std::vector<char> chunk(kChunkBytes);
    uint64_t digest = kFnvOffset;
    while (in.read(chunk.data(), kChunkBytes) || in.gcount() > 0)
        digest = fnv1a(std::string_view(chunk.data(), static_cast<size_t>(in.gcount())), digest);
    if (in.bad())
        throw Error("cannot read '" + path + "' for its digest");
    return digest;
}

std::string digest_text(uint64_t digest)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
    return text;
}

} // namespace ami_host
