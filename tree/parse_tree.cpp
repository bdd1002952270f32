// ParseTree: binds a parameter string onto a declared tree of typed defaults.
#include "IBIS_AMI_tree.h"
#include "scan_number.h"
#include "text_buffer.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

namespace {

constexpr int kLevels = 16;         // pseudo-root, root tree, 14 nested branches
constexpr int kBufferCapacity = 256; // capacity given to the lexer and parser
constexpr int kBufferSize = 257;     // the message buffer itself
// Messages kept for one string; later ones are only counted, so that a
// hostile string cannot flood the host's log.
constexpr long long kMaxMessages = 1000;

// Everything one binding walk keeps: the level stack, the current entry, the
// collected messages and the count of configured items.
struct Binding {
    std::array<AmiTree, kLevels> levels{};
    AmiEntry *current = nullptr; // entry named by the item being read, or none
    ami::TextBuffer messages;
    long long message_count = 0; // messages reported, kept or not
    int configured = 0;
};

// Placeholder level for an item that is not ours: nothing inside it matches.
constexpr AmiTree kNotMine = {"NotMine", 0, nullptr};

// Appends one message made of `parts`, unless the cap has been reached.
void add_message(Binding &binding, std::initializer_list<std::string_view> parts)
{
    if (++binding.message_count > kMaxMessages)
        return;
    binding.messages.append(parts);
}

// One line saying how many messages the cap held back, if any.
void add_dropped_count(Binding &binding)
{
    if (binding.message_count <= kMaxMessages)
        return;
    char count[24];
    const char *end = std::to_chars(count, count + sizeof count, binding.message_count - kMaxMessages).ptr;
    binding.messages.append({"**Warning** ", {count, static_cast<std::size_t>(end - count)},
                             " more messages about the parameter string were dropped.\n"});
}

void report(Binding &binding, std::string_view before, const AmiEntry &entry, std::string_view after)
{
    add_message(binding, {before, entry.name ? entry.name : "", after});
}

void report_not_converted(Binding &binding, const AmiEntry &entry)
{
    report(binding, "**Error** Could not convert value for ", entry, ".\n");
}

// Moves whatever the lexer or parser wrote into the buffer onto the message
// string, followed by a line feed, and empties the buffer.
void collect_buffer(Binding &binding, char (&buffer)[kBufferSize])
{
    if (buffer[0] == '\0')
        return;
    add_message(binding, {buffer, "\n"});
    std::memset(buffer, 0, sizeof buffer);
}

AmiEntry *find_entry(const AmiTree &level, const AmiToken &token)
{
    for (int i = 0; i < level.count; ++i) {
        AmiEntry &entry = level.entries[i];
        if (entry.name != nullptr && std::strncmp(entry.name, token.start, token.length) == 0 &&
            entry.name[token.length] == '\0')
            return &entry;
    }
    return nullptr;
}

bool is_array_type(int type)
{
    return type >= AMI_DOUBLE_ARRAY && type <= AMI_SHORT_ARRAY;
}

// Copies the token as the entry's new text, releasing the text it replaces.
int store_string(AmiEntry &entry, const AmiToken &token)
{
    char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(token.length) + 1));
    if (copy == nullptr)
        return 0;
    std::memcpy(copy, token.start, token.length);
    copy[token.length] = '\0';
    std::free(entry.value.str);
    entry.value.str = copy;
    return 1;
}

// Converts the token by the entry's type into the entry; returns the number
// of values stored (0 when the token does not convert).
int convert_value(AmiEntry &entry, const AmiToken &token)
{
    switch (entry.type) {
    case AMI_DOUBLE:
        return ami::scan_double(token.start, &entry.value.d);
    case AMI_LONG:
        return ami::scan_long(token.start, &entry.value.l);
    case AMI_INT:
        return ami::scan_int(token.start, &entry.value.i);
    case AMI_SHORT:
        return ami::scan_short(token.start, &entry.value.s);
    case AMI_CHAR:
        entry.value.c = token.start[0];
        return 1;
    case AMI_DOUBLE_ARRAY:
    case AMI_LONG_ARRAY:
    case AMI_INT_ARRAY:
    case AMI_SHORT_ARRAY:
        return entry.value.array ? AddToArray(token.start, token.length, entry.type, entry.value.array) : 0;
    case AMI_STRING:
        return store_string(entry, token);
    default: // a branch, or a code outside the data model: no value to take
        return 0;
    }
}

void bind_value(Binding &binding, const AmiToken &token)
{
    const int stored = convert_value(*binding.current, token);
    binding.configured += stored;
    if (stored == 0)
        report_not_converted(binding, *binding.current);
}

// Acts on a complete text token according to the parser state it arrived in.
void bind_text(Binding &binding, int state, int depth, const AmiToken &token)
{
    switch (state) {
    case AMI_WANT_NAME:
        binding.current = find_entry(binding.levels[depth], token);
        break;
    case AMI_WANT_VALUE:
        if (binding.current)
            bind_value(binding, token);
        break;
    case AMI_IN_VALUE:
        if (binding.current == nullptr)
            break;
        if (is_array_type(binding.current->type)) {
            bind_value(binding, token);
        } else {
            report(binding, "**Warning** Extra white space and text encountered in value for ",
                   *binding.current, ".\n");
            report_not_converted(binding, *binding.current);
        }
        break;
    }
}

// A "(" where a value was expected opens the level of the current entry's
// children: the branch itself, or a placeholder that skips the item.
void open_level(Binding &binding, int depth)
{
    AmiTree &level = binding.levels[depth + 1];
    const AmiEntry *entry = binding.current;
    if (entry == nullptr) {
        level = kNotMine;
    } else if (entry->type == AMI_TREE) {
        level = entry->value.tree ? *entry->value.tree : kNotMine;
    } else {
        level = kNotMine;
        report(binding, "**Error** '(' encountered in parameter string when value for ", *entry,
               " was expected.\n");
    }
}

} // namespace

extern "C" int ParseTree(const char *parameters, AmiTree root, char **message)
{
    if (message != nullptr)
        *message = nullptr;
    if (parameters == nullptr || parameters[0] == '\0')
        return 0;

    char buffer[kBufferSize] = {};
    Binding binding;
    AmiEntry root_entry = {root.name, AMI_TREE, {}};
    root_entry.value.tree = &root;
    binding.levels[0] = {"MotherEarth", 1, &root_entry};

    AmiToken token = {parameters, 0};
    int token_class = AMI_SPACE;
    int state = AMI_WANT_ITEM;
    int depth = 0;
    int in_quote = 0;
    int ready = 0;

    for (const char *c = parameters; *c != '\0'; ++c) {
        token_class = AmiLexer(c, token_class, state, &token, &in_quote, &ready, buffer, kBufferCapacity);
        collect_buffer(binding, buffer);
        if (ready == 1 && token_class == AMI_TEXT)
            bind_text(binding, state, depth, token);
        if (ready == 1 && token_class == AMI_OPEN && state == AMI_WANT_VALUE && depth < kLevels - 1)
            open_level(binding, depth);
        state = AmiParser(token_class, state, &ready, &depth, buffer, kBufferCapacity);
        collect_buffer(binding, buffer);
    }

    add_dropped_count(binding);
    if (message != nullptr)
        *message = binding.messages.release();
    return binding.configured;
}
