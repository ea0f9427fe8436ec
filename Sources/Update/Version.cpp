#include "Update/Version.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace Update {
namespace {

constexpr std::size_t kMostParts = 4;

bool asciiDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int64_t> piece(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars alone would accept a leading "-" for signed types and reject "+"; with the sign taken off,
    // only digits may remain, so "--1", "+-1" and " 1" fail here.
    if (text.empty() || !std::all_of(text.begin(), text.end(), asciiDigit)) return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr uint64_t largest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!negative) {
        if (magnitude > largest) return std::nullopt;
        return static_cast<int64_t>(magnitude);
    }
    if (magnitude > largest + 1) return std::nullopt;
    if (magnitude == 0) return 0;
    // -(m - 1) - 1 stays in range for m = 2^63, where -m itself would overflow.
    return -static_cast<int64_t>(magnitude - 1) - 1;
}

}  // namespace

std::optional<std::vector<int64_t>> parts(std::string_view version) {
    std::vector<int64_t> out;
    while (true) {
        if (out.size() == kMostParts) return std::nullopt;
        const std::size_t dot = version.find('.');
        const auto value = piece(version.substr(0, dot));
        if (!value) return std::nullopt;
        out.push_back(*value);
        if (dot == std::string_view::npos) return out;
        version.remove_prefix(dot + 1);
    }
}

bool isNewer(std::string_view candidate, std::string_view reference) {
    const auto a = parts(candidate);
    if (!a) return false;
    const auto b = parts(reference);
    if (!b) return false;
    const std::size_t n = std::max(a->size(), b->size());
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t x = i < a->size() ? (*a)[i] : 0;
        const int64_t y = i < b->size() ? (*b)[i] : 0;
        if (x != y) return x > y;
    }
    return false;
}

}  // namespace Update
