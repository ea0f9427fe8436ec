#pragma once
// One value as a settings store hands it over: none, a Boolean, a number, a text, or something of
// another type (a list, a dictionary), which only counts as "something".

#include <string>
#include <variant>

struct OtherPref {
    friend bool operator==(const OtherPref&, const OtherPref&) = default;
};

using PrefValue = std::variant<std::monostate, bool, double, std::string, OtherPref>;
