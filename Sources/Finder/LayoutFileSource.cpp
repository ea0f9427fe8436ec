#include "Finder/LayoutFileSource.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <nlohmann/json.hpp>
#include <optional>

#include "Finder/DeskLayout.h"
#include "Finder/GioWatch.h"
#include "Finder/SettingsLookup.h"
#include "Platform/Files/Files.h"
#include "Platform/Files/JsonLimits.h"

namespace {

// Only a regular file, read without blocking (a FIFO would hold the reader thread for good) and up to the
// size limit.
std::optional<std::string> contents(const std::string& path, std::string& why) {
    std::string error;
    auto text = files::readRegular(path, LayoutFileSource::maxBytes, &error);
    if (!text) why = "cannot read " + path + ": " + error;
    return text;
}

// Deeper than any layout file needs: the rest is refused before it is parsed.
constexpr size_t maxDepth = 16;

// Parsed without exceptions: a file that is not JSON comes back discarded.
std::optional<nlohmann::json> document(const std::string& path, std::string& why) {
    const auto text = contents(path, why);
    if (!text) return std::nullopt;
    if (json_limits::nesting(*text, maxDepth) > maxDepth) {
        why = path + " is nested more than " + std::to_string(maxDepth) + " deep";
        return std::nullopt;
    }
    nlohmann::json j = nlohmann::json::parse(*text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        why = path + " is not a JSON object";
        return std::nullopt;
    }
    return j;
}

// A size key: the default when absent, or when out of range, which also says so.
double size(const nlohmann::json& j, const char* key, double low, double high, double fallback,
            const std::string& path) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) return fallback;
    if (it->is_number() && it->get<double>() >= low && it->get<double>() <= high) return it->get<double>();
    char range[64];
    std::snprintf(range, sizeof range, "not a size from %g to %g", low, high);
    SettingsLookup::refuse(path, key, it->dump(), range);
    return fallback;
}

}  // namespace

LayoutFileSource::LayoutFileSource(std::string path) : path_(std::move(path)) {}

std::string LayoutFileSource::pathIn(const std::string& configHome) {
    return configHome + "/vistamere/desktop-icons.json";
}

FinderResult LayoutFileSource::layout() {
    std::string why;
    const auto j = document(path_, why);
    if (!j) {
        FinderError e{name(), FinderError::unavailable, why};
        // Most sessions never write one: a missing file is the normal case, an unreadable one is not.
        std::error_code ec;
        e.quiet = !std::filesystem::exists(path_, ec) && !ec;
        return e;
    }
    const auto centers = j->find("centers");
    if (centers == j->end() || !centers->is_array())
        return FinderError{name(), FinderError::unavailable, path_ + " has no \"centers\" list"};
    DeskLayout out;
    for (const auto& c : *centers) {
        // Each centre is [x, y]; anything else is a malformed position, skipped.
        if (c.is_array() && c.size() == 2 && c[0].is_number() && c[1].is_number())
            out.centers.push_back({c[0].get<double>(), c[1].get<double>()});
    }
    out.iconSize = size(*j, "iconSize", DeskLayout::minIconSize, DeskLayout::maxIconSize, out.iconSize, path_);
    out.textSize = size(*j, "textSize", DeskLayout::minTextSize, DeskLayout::maxTextSize, out.textSize, path_);
    const auto label = j->find("labelPosition");
    out.labelsRight = label != j->end() && label->is_string() && label->get<std::string>() == "right";
    return out;
}

PrefValue LayoutFileSource::drawsDesktop() {
    std::string why;
    const auto j = document(path_, why);
    if (!j) return {};
    const auto it = j->find("drawsDesktop");
    if (it == j->end() || it->is_null()) return {};
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>();
    if (it->is_string()) return it->get<std::string>();
    return OtherPref{};
}

std::unique_ptr<SourceWatch> LayoutFileSource::watch(std::function<void()> changed) {
    auto w = std::make_unique<GioWatch>(std::move(changed));
    w->file(path_);
    return w;
}
