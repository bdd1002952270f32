// A declared parameter tree for tests: the root "Root" with gain (double),
// mode (int), label (string), taps (double array, empty), the branch loop
// holding x (double) and n (int), and the leaf step (double).
#pragma once

#include "IBIS_AMI_tree.h"

#include <cstdlib>
#include <cstring>
#include <string>

struct RootTree {
    AmiArray taps = {AMI_DOUBLE_ARRAY, 0, nullptr};
    AmiEntry loop_entries[2] = {{"x", AMI_DOUBLE, {}}, {"n", AMI_INT, {}}};
    AmiTree loop = {"loop", 2, loop_entries};
    AmiEntry entries[6] = {{"gain", AMI_DOUBLE, {}}, {"mode", AMI_INT, {}}, {"label", AMI_STRING, {}},
                           {"taps", AMI_DOUBLE_ARRAY, {}}, {"loop", AMI_TREE, {}}, {"step", AMI_DOUBLE, {}}};
    AmiTree tree = {"Root", 6, entries};

    RootTree()
    {
        entries[0].value.d = 0.5;
        entries[1].value.i = 7;
        entries[2].value.str = nullptr;
        entries[3].value.array = &taps;
        entries[4].value.tree = &loop;
        entries[5].value.d = 0.25;
        loop_entries[0].value.d = 1.0;
        loop_entries[1].value.i = 3;
    }
    RootTree(const RootTree &) = delete;
    RootTree &operator=(const RootTree &) = delete;
    ~RootTree() { FreeTree(tree); }

    double gain() const { return entries[0].value.d; }
    int mode() const { return entries[1].value.i; }
    const char *label() const { return entries[2].value.str; }
    double step() const { return entries[5].value.d; }
    double tap(int i) const { return static_cast<const double *>(taps.data)[i]; }
};

// The outcome of one ParseTree call.
struct Bound {
    int configured = 0;
    bool has_message = false; // false when ParseTree left the message string null
    std::string message;
};

inline Bound bind(const char *parameters, const AmiTree &tree)
{
    Bound bound;
    char *message = reinterpret_cast<char *>(1); // ParseTree must reset it
    bound.configured = ParseTree(parameters, tree, &message);
    bound.has_message = message != nullptr;
    if (message) {
        bound.message = message;
        std::free(message);
    }
    return bound;
}

// Takes ownership of a malloc'd text and returns it as a std::string.
inline std::string take(char *text)
{
    std::string result = text ? text : "<null>";
    std::free(text);
    return result;
}
