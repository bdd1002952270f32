// The parenthesised syntax of .ami files and parameter strings: items of a
// name followed by values or by further items.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

// One item of the parenthesised syntax: "(name value ...)" or
// "(name (child ...) ...)". Quoted texts arrive without their quotes.
struct AmiNode {
    std::string name;
    std::vector<std::string> values;
    std::vector<AmiNode> children;
    int line = 0; // line of the opening parenthesis, from 1
};

// Parses `text` into its one root item. "|" starts a comment that runs to the
// end of the line (outside quoted texts). Throws Error "<origin>:<line>: ..."
// on malformed syntax.
AmiNode parse_ami_syntax(const std::string &text, const std::string &origin);

} // namespace ami_host
