// AddToArray: appends one converted value to a typed array entry.
#include "IBIS_AMI_tree.h"
#include "scan_number.h"

#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace {

// One element of any array type, converted before it is appended.
union Element {
    double d;
    long l;
    int i;
    short s;
};

size_t element_size(int type)
{
    switch (type) {
    case AMI_DOUBLE_ARRAY:
        return sizeof(double);
    case AMI_LONG_ARRAY:
        return sizeof(long);
    case AMI_INT_ARRAY:
        return sizeof(int);
    case AMI_SHORT_ARRAY:
        return sizeof(short);
    }
    assert(!"array type code outside AMI_DOUBLE_ARRAY..AMI_SHORT_ARRAY");
    std::abort();
}

bool convert(int type, const char *text, Element *element)
{
    switch (type) {
    case AMI_DOUBLE_ARRAY:
        return ami::scan_double(text, &element->d);
    case AMI_LONG_ARRAY:
        return ami::scan_long(text, &element->l);
    case AMI_INT_ARRAY:
        return ami::scan_int(text, &element->i);
    default:
        return ami::scan_short(text, &element->s);
    }
}

// Makes room for one more element. The storage grows geometrically, and the
// room already there is read from the allocator, so an array of n values
// costs O(n) to fill whatever storage the declaring code gave it.
bool make_room(AmiArray *array, size_t size)
{
    if (static_cast<size_t>(array->count) >= SIZE_MAX / (2 * size) - 1)
        return false; // the doubled storage would not have a representable size
    const size_t needed = (static_cast<size_t>(array->count) + 1) * size;
    if (array->data != nullptr && malloc_usable_size(array->data) >= needed)
        return true;
    size_t capacity = static_cast<size_t>(array->count) * 2 * size;
    if (capacity < needed)
        capacity = needed < 8 * size ? 8 * size : needed;
    void *grown = std::realloc(array->data, capacity);
    if (grown == nullptr)
        return false;
    array->data = grown;
    return true;
}

} // namespace

extern "C" int AddToArray(const char *text, int /*length: the conversion finds its own end*/, int type,
                          AmiArray *array)
{
    const size_t size = element_size(type);
    if (text == nullptr || array == nullptr || array->count < 0 || array->count == INT_MAX)
        return 0;
    Element element;
    if (!convert(type, text, &element))
        return 0;
    if (!make_room(array, size))
        return 0;
    std::memcpy(static_cast<char *>(array->data) + static_cast<size_t>(array->count) * size, &element, size);
    ++array->count;
    return 1;
}
