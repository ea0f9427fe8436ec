#pragma once
// Bounds for JSON files a user or another program writes: a nesting depth checked on the text before any
// parser sees it, since a document nested a hundred thousand deep parses in little memory but cannot be
// written out again without running the stack out.

#include <cstddef>
#include <string_view>

namespace json_limits {

// How deep arrays and objects nest in `text`, counted outside strings; stops counting past `limit` and
// answers `limit + 1` then. Malformed text is counted as far as it goes: the parser refuses it afterwards.
std::size_t nesting(std::string_view text, std::size_t limit);

}  // namespace json_limits
