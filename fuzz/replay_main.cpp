// Replays a fuzz target's corpus without the fuzzing engine: every file of
// every folder (or file) named on the command line is handed to the target
// once, as the engine would. Built with any compiler, for every width.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

void replay(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char **argv)
{
    long inputs = 0;
    for (int a = 1; a < argc; ++a) {
        const std::filesystem::path path(argv[a]);
        if (!std::filesystem::is_directory(path)) {
            replay(path);
            ++inputs;
            continue;
        }
        for (const auto &entry : std::filesystem::directory_iterator(path)) {
            if (entry.is_regular_file()) {
                replay(entry.path());
                ++inputs;
            }
        }
    }
    std::printf("%ld inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
