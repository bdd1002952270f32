// FreeTree: releases the storage that a tree's values own.
#include "IBIS_AMI_tree.h"

#include <cstdlib>

extern "C" void FreeTree(AmiTree tree)
{
    for (int i = 0; i < tree.count && tree.entries != nullptr; ++i) {
        AmiEntry &entry = tree.entries[i];
        switch (entry.type) {
        case AMI_DOUBLE_ARRAY:
        case AMI_LONG_ARRAY:
        case AMI_INT_ARRAY:
        case AMI_SHORT_ARRAY:
            // The array record stays; it is left empty so a second release
            // or a late write finds no dangling storage.
            if (entry.value.array != nullptr) {
                std::free(entry.value.array->data);
                entry.value.array->data = nullptr;
                entry.value.array->count = 0;
            }
            break;
        case AMI_STRING:
            std::free(entry.value.str);
            entry.value.str = nullptr;
            break;
        case AMI_TREE:
            if (entry.value.tree != nullptr)
                FreeTree(*entry.value.tree);
            break;
        default: // scalars own nothing; codes above 10 are not ours
            break;
        }
    }
}
