// The digest a sweep records of each file it reads: FNV-1a's published
// values, whatever the chunks the file is read in.
#include "base/file_digest.h"
#include "base/host_error.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace {

std::string written(const std::string &name, const std::string &bytes)
{
    const std::string path = ::testing::TempDir() + "digest_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(FileDigest, IsFnv1aOfTheBytes)
{
    const std::pair<std::string, const char *> cases[] = {
        {"", "cbf29ce484222325"}, {"a", "af63dc4c8601ec8c"}, {"foobar", "85944171f73967e8"}};
    for (const auto &[bytes, digest] : cases)
        EXPECT_EQ(ami_host::digest_text(ami_host::file_digest(written("known", bytes))), digest) << bytes;
}

TEST(FileDigest, SpansChunksAndZeroBytes)
{
    std::string bytes;
    for (int i = 0; i < 200001; ++i)
        bytes += static_cast<char>(i * 7919 % 256);
    EXPECT_EQ(ami_host::file_digest(written("long", bytes)), ami_host::fnv1a(bytes));
    EXPECT_THROW(ami_host::file_digest(written("missing", "") + ".none"), ami_host::Error);
}

} // namespace
