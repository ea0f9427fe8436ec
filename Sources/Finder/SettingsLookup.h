#pragma once
// Reads single settings of the icon managers: GSettings keys (only when the schema is installed and has
// the key, so a missing manager never aborts the process) and key-file entries.

#include <optional>
#include <string>

#include "Finder/PrefValue.h"

class SettingsLookup {
public:
    // The key's value, or no value when the schema or the key is not installed.
    static PrefValue gsettings(const std::string& schema, const std::string& key);
    // The entry's text from a key file, or nothing when the file, the group or the key is missing or the
    // file is not a key file.
    static std::optional<std::string> keyFile(const std::string& path, const std::string& group,
                                              const std::string& key);
    // The size of a font description such as "Cantarell 11" (points) or "Sans 14px", in pixels at 96 dots
    // per inch; nothing for no value, no size or a size that is not a positive number.
    static std::optional<double> fontPixels(const PrefValue& description);
    // A whole number written in a text, or nothing when the text holds anything else.
    static std::optional<long> integer(const std::string& text);
    // A number written in a text, or nothing when the text holds anything else or it is not finite.
    static std::optional<double> number(const std::string& text);
    // A size a manager keeps as `key` in `file`: the number when it lies within [low, high]; else nothing,
    // and a line on stderr naming the file, the key and the value, once for each of them.
    static std::optional<double> sizeIn(const std::string& text, double low, double high, const std::string& file,
                                        const std::string& key);
    // Says on stderr, once for each file, key and value, that the value was refused and why.
    static void refuse(const std::string& file, const std::string& key, const std::string& value,
                       const std::string& why);
};
