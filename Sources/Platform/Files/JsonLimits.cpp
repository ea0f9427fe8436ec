#include "Platform/Files/JsonLimits.h"

namespace json_limits {

std::size_t nesting(std::string_view text, std::size_t limit) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > limit) return limit + 1;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

}  // namespace json_limits
