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

FinderError failure(std::string reason) { return FinderError{"Finder", FinderError::unavailable, std::move(reason)}; }

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

ReplyItem item(const nlohmann::json& j) {
    if (j.is_number()) return ReplyItem::of(j.get<double>());
    if (j.is_string()) return ReplyItem::of(j.get<std::string>());
    if (j.is_array()) {
        std::vector<ReplyItem> items;
        for (const auto& e : j) items.push_back(e.is_array() ? ReplyItem::of(std::vector<ReplyItem>{}) : item(e));
        return ReplyItem::of(std::move(items));
    }
    return ReplyItem::none();
}

ReplyItem field(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    return it == j.end() ? ReplyItem::none() : item(*it);
}

// A size key: missing when absent or out of range, which leaves the default and says so.
ReplyItem size(const nlohmann::json& j, const char* key, double low, double high, const std::string& path) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) return ReplyItem::none();
    if (it->is_number() && it->get<double>() >= low && it->get<double>() <= high) return item(*it);
    char range[64];
    std::snprintf(range, sizeof range, "not a size from %g to %g", low, high);
    SettingsLookup::refuse(path, key, it->dump(), range);
    return ReplyItem::none();
}

}  // namespace

LayoutFileSource::LayoutFileSource(std::string path) : path_(std::move(path)) {}

std::string LayoutFileSource::pathIn(const std::string& configHome) {
    return configHome + "/vistamere/desktop-icons.json";
}

SourceReply LayoutFileSource::reply() {
    std::string why;
    const auto j = document(path_, why);
    if (!j) {
        FinderError e = failure(why);
        // Most sessions never write one: a missing file is the normal case, an unreadable one is not.
        std::error_code ec;
        e.quiet = !std::filesystem::exists(path_, ec) && !ec;
        return e;
    }
    std::vector<ReplyItem> positions;
    ReplyItem centers = ReplyItem::none();
    if (const auto it = j->find("centers"); it != j->end() && it->is_array()) {
        for (const auto& c : *it) {
            // Each centre is [x, y]; anything else is a malformed position, skipped by the reader.
            std::vector<ReplyItem> xy;
            if (c.is_array())
                for (const auto& v : c) xy.push_back(v.is_number() ? ReplyItem::of(v.get<double>()) : ReplyItem::none());
            positions.push_back(ReplyItem::of(std::move(xy)));
        }
        centers = ReplyItem::of(std::move(positions));
    }
    return ReplyItem::of(std::vector<ReplyItem>{
        std::move(centers), size(*j, "iconSize", DeskLayout::minIconSize, DeskLayout::maxIconSize, path_),
        size(*j, "textSize", DeskLayout::minTextSize, DeskLayout::maxTextSize, path_), field(*j, "labelPosition")});
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
