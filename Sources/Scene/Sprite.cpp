#include "Scene/Sprite.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace {

// The shortest decimal that reads back to the same double, always with a fractional digit in the
// ordinary range; exponent form for very large or very small magnitudes.
void appendNumber(std::string& out, double v) {
    std::array<char, 64> buf;
    const double mag = std::fabs(v);
    const bool fixed = mag == 0 || (mag >= 1e-4 && mag < 9007199254740992.0);  // below 2^53
    const auto res = fixed ? std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed)
                           : std::to_chars(buf.data(), buf.data() + buf.size(), v);
    const std::string_view text(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    out += text;
    if (text.find_first_of(".eni") == std::string_view::npos) out += ".0";
}

void appendPoint(std::string& out, cg::Point p) {
    out += '(';
    appendNumber(out, p.x);
    out += ", ";
    appendNumber(out, p.y);
    out += ')';
}

void appendBool(std::string& out, bool b) { out += b ? "true" : "false"; }

void appendUInt(std::string& out, uint32_t n) { out += std::to_string(n); }

template <class T, class F>
void appendList(std::string& out, const std::vector<T>& items, F&& each) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        each(out, items[i]);
    }
    out += ']';
}

}  // namespace

std::string_view Sprite::kindName(Kind kind) {
    static constexpr std::array<std::string_view, kindCount> names = {
        "boat", "wave",  "streak", "surf",  "light", "firefly",  "star", "bird",   "satellite", "meteor",
        "sway", "cloud", "glide",  "trip",  "burst", "blast",    "fountain", "beam", "window",  "act"};
    const auto i = static_cast<std::size_t>(kind);
    return i < names.size() ? names[i] : std::string_view("?");
}

std::string Sprite::identity() const {
    std::string s;
    s.reserve(160 + 24 * path.size() + 12 * dim.size());
    s += kindName(kind);
    s += ' ';
    appendPoint(s, at);
    s += ' ';
    appendNumber(s, size);
    s += ' ';
    appendNumber(s, phase);
    s += ' ';
    appendNumber(s, travel);
    s += ' ';
    appendPoint(s, to);
    s += ' ';
    appendUInt(s, color);
    s += ' ';
    appendNumber(s, angle);
    s += ' ';
    // image: not part of the identity
    appendPoint(s, anchor);
    s += ' ';
    // frames, shade: not part of the identity
    appendNumber(s, beat);
    s += ' ';
    appendUInt(s, dust);
    s += ' ';
    appendList(s, path, appendPoint);
    s += ' ';
    appendNumber(s, rest);
    s += ' ';
    appendBool(s, closed);
    s += ' ';
    appendNumber(s, pulse);
    s += ' ';
    appendNumber(s, ease);
    s += ' ';
    appendNumber(s, spin);
    s += ' ';
    appendNumber(s, hop);
    s += ' ';
    appendNumber(s, grow);
    s += ' ';
    appendBool(s, face);
    s += ' ';
    appendNumber(s, stroke);
    s += ' ';
    appendNumber(s, blow);
    s += ' ';
    appendNumber(s, rain);
    s += ' ';
    appendBool(s, glow);
    s += ' ';
    appendList(s, dim, appendNumber);
    return s;
}
