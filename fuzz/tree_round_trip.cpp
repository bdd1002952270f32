// Fuzz target: an arbitrary string read onto a tree of every entry type and
// written back; and for a tree of numbers, the written string read and
// written again must give the same text (the writer's output is a fixed
// point of reading and writing).
#include "IBIS_AMI_tree.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A tree of numbers: every scalar and array type, and a branch.
struct NumberTree {
    AmiArray doubles = {AMI_DOUBLE_ARRAY, 0, nullptr};
    AmiArray longs = {AMI_LONG_ARRAY, 0, nullptr};
    AmiArray ints = {AMI_INT_ARRAY, 0, nullptr};
    AmiArray shorts = {AMI_SHORT_ARRAY, 0, nullptr};
    AmiEntry inner[2] = {{"x", AMI_DOUBLE, {}}, {"n", AMI_INT, {}}};
    AmiTree branch = {"branch", 2, inner};
    AmiEntry entries[9] = {{"d", AMI_DOUBLE, {}},       {"l", AMI_LONG, {}},       {"i", AMI_INT, {}},
                           {"s", AMI_SHORT, {}},        {"da", AMI_DOUBLE_ARRAY, {}}, {"la", AMI_LONG_ARRAY, {}},
                           {"ia", AMI_INT_ARRAY, {}},   {"sa", AMI_SHORT_ARRAY, {}},  {"branch", AMI_TREE, {}}};
    AmiTree tree = {"Root", 9, entries};

    NumberTree()
    {
        entries[4].value.array = &doubles;
        entries[5].value.array = &longs;
        entries[6].value.array = &ints;
        entries[7].value.array = &shorts;
        entries[8].value.tree = &branch;
    }
    NumberTree(const NumberTree &) = delete;
    NumberTree &operator=(const NumberTree &) = delete;
    ~NumberTree() { FreeTree(tree); }
};

// A tree of text entries: a string and a character beside the numbers.
struct TextTree {
    NumberTree numbers;
    AmiEntry entries[3] = {{"text", AMI_STRING, {}}, {"c", AMI_CHAR, {}}, {"Root", AMI_TREE, {}}};
    AmiTree tree = {"Root", 3, entries};

    TextTree() { entries[2].value.tree = &numbers.tree; }
    TextTree(const TextTree &) = delete;
    TextTree &operator=(const TextTree &) = delete;
    ~TextTree() { FreeTree(tree); }
};

// Binds `parameters` onto `tree` and returns the tree written back.
std::string bind_and_write(const char *parameters, const AmiTree &tree)
{
    char *message = nullptr;
    ParseTree(parameters, tree, &message);
    std::free(message);
    char *written = GrowTree(tree);
    std::string text = written != nullptr ? written : "";
    std::free(written);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string parameters(reinterpret_cast<const char *>(data), size);
    {
        TextTree texts;
        bind_and_write(parameters.c_str(), texts.tree);
    }
    NumberTree first;
    const std::string written = bind_and_write(parameters.c_str(), first.tree);
    NumberTree second;
    if (bind_and_write(written.c_str(), second.tree) != written)
        std::abort();
    return 0;
}
