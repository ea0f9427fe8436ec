#include "Finder/LayoutFileSource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <nlohmann/json.hpp>
#include <optional>

#include "Finder/GioWatch.h"

namespace {

FinderError failure(std::string reason) { return FinderError{"Finder", FinderError::unavailable, std::move(reason)}; }

std::optional<std::string> contents(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text(LayoutFileSource::maxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        why = "cannot read " + path;
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > LayoutFileSource::maxBytes) {
        why = path + " is larger than " + std::to_string(LayoutFileSource::maxBytes) + " bytes";
        return std::nullopt;
    }
    return text;
}

// Parsed without exceptions: a file that is not JSON comes back discarded.
std::optional<nlohmann::json> document(const std::string& path, std::string& why) {
    const auto text = contents(path, why);
    if (!text) return std::nullopt;
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
    return ReplyItem::of(std::vector<ReplyItem>{std::move(centers), field(*j, "iconSize"), field(*j, "textSize"),
                                                field(*j, "labelPosition")});
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
