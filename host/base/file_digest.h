// A 64-bit digest of a file's bytes (FNV-1a): enough to tell whether two runs
// read the same model, .ami or channel file, with nothing to depend on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ami_host {

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;

// FNV-1a of `bytes` continued from `state`, so that a file can be digested
// piece by piece.
uint64_t fnv1a(std::string_view bytes, uint64_t state = kFnvOffset);

// The digest of the file's bytes, read in chunks. Throws Error when the file
// cannot be read.
uint64_t file_digest(const std::string &path);

// The digest as 16 hexadecimal digits.
std::string digest_text(uint64_t digest);

} // namespace ami_host
