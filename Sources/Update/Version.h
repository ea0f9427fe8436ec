#pragma once
// Version numbers as the update manifest and the running program write them: a dotted list of one to four
// signed base-10 integers, each an optional "+" or "-" and ASCII digits only. Missing trailing parts count as
// 0, so "1.0.0" equals "1".

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace Update {

// The integers of a version, or nothing when any piece is empty, is not a plain integer, does not fit in
// 64 bits, or when there are more than four pieces.
std::optional<std::vector<int64_t>> parts(std::string_view version);

// True only when both are valid versions and `candidate` is greater than `reference`.
bool isNewer(std::string_view candidate, std::string_view reference);

}  // namespace Update
