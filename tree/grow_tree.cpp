// GrowTree and print_array: write a tree back as a parameter string.
#include "IBIS_AMI_tree.h"
#include "array_writer.h"
#include "text_buffer.h"

#include <cassert>
#include <cstdlib>

namespace ami {

void append_array_item(TextBuffer &out, const char *name, const AmiArray &array)
{
    assert(array.type >= AMI_DOUBLE_ARRAY && array.type <= AMI_SHORT_ARRAY);
    if (array.count <= 0 || array.data == nullptr)
        return;
    out.append("(");
    out.append(name ? name : "");
    out.append(" ");
    for (int i = 0; i < array.count; ++i) {
        if (i > 0)
            out.append(" ");
        switch (array.type) {
        case AMI_DOUBLE_ARRAY:
            out.append_number("%g", static_cast<const double *>(array.data)[i]);
            break;
        case AMI_LONG_ARRAY:
            out.append_number("%ld", static_cast<const long *>(array.data)[i]);
            break;
        case AMI_INT_ARRAY:
            out.append_number("%d", static_cast<const int *>(array.data)[i]);
            break;
        case AMI_SHORT_ARRAY:
            out.append_number("%hd", static_cast<const short *>(array.data)[i]);
            break;
        }
    }
    out.append(")");
}

} // namespace ami

namespace {

void append_tree(ami::TextBuffer &out, const AmiTree &tree);

// "(name " before an item's value.
void open_item(ami::TextBuffer &out, const char *name)
{
    out.append("(");
    out.append(name);
    out.append(" ");
}

// "(name value)" with the value formatted by `format`.
template <typename Value> void append_scalar(ami::TextBuffer &out, const char *name, const char *format, Value value)
{
    open_item(out, name);
    out.append_number(format, value);
    out.append(")");
}

// "(name value)" for the scalar codes, "(name \"text\")" for a string.
void append_entry(ami::TextBuffer &out, const AmiEntry &entry)
{
    const char *name = entry.name ? entry.name : "";
    switch (entry.type) {
    case AMI_DOUBLE:
        append_scalar(out, name, "%g", entry.value.d);
        break;
    case AMI_LONG:
        append_scalar(out, name, "%ld", entry.value.l);
        break;
    case AMI_INT:
        append_scalar(out, name, "%d", entry.value.i);
        break;
    case AMI_SHORT:
        append_scalar(out, name, "%hd", entry.value.s);
        break;
    case AMI_CHAR:
        // A null character would end the text mid-item; it is written as no
        // character at all.
        open_item(out, name);
        if (entry.value.c != '\0')
            out.append({&entry.value.c, 1});
        out.append(")");
        break;
    case AMI_STRING:
        open_item(out, name);
        out.append("\"");
        if (entry.value.str)
            out.append(entry.value.str);
        out.append("\")");
        break;
    case AMI_TREE:
        if (entry.value.tree)
            append_tree(out, *entry.value.tree);
        break;
    case AMI_DOUBLE_ARRAY:
    case AMI_LONG_ARRAY:
    case AMI_INT_ARRAY:
    case AMI_SHORT_ARRAY:
        if (entry.value.array)
            ami::append_array_item(out, name, *entry.value.array);
        break;
    default: // codes above 10 are not part of the written tree
        break;
    }
}

void append_tree(ami::TextBuffer &out, const AmiTree &tree)
{
    out.append("(");
    out.append(tree.name ? tree.name : "");
    for (int i = 0; i < tree.count && tree.entries != nullptr; ++i)
        append_entry(out, tree.entries[i]);
    out.append(")");
}

} // namespace

extern "C" char *GrowTree(AmiTree tree)
{
    ami::TextBuffer out;
    append_tree(out, tree);
    return out.release(true);
}

extern "C" char *print_array(const char *name, AmiArray array)
{
    ami::TextBuffer out;
    ami::append_array_item(out, name, array);
    return out.release();
}
