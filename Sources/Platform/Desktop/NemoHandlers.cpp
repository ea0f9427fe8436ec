#include "Platform/Desktop/NemoHandlers.h"

#include <gio/gio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr const char* kSchema = "org.nemo.desktop";
constexpr const char* kKey = "ignored-desktop-handlers";

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return g_ascii_tolower(x) == g_ascii_tolower(y);
           });
}

std::vector<std::string> read(GSettings* s) {
    std::vector<std::string> out;
    gchar** list = g_settings_get_strv(s, kKey);
    for (gchar** p = list; p && *p; ++p) out.emplace_back(*p);
    g_strfreev(list);
    return out;
}

void write(GSettings* s, const std::vector<std::string>& list) {
    std::vector<const gchar*> raw;
    for (const std::string& e : list) raw.push_back(e.c_str());
    raw.push_back(nullptr);
    g_settings_set_strv(s, kKey, raw.data());
    // Written out before a quit ends the process.
    g_settings_sync();
}

}  // namespace

std::vector<std::string> NemoHandlers::with(std::vector<std::string> list, const std::string& name) {
    if (std::none_of(list.begin(), list.end(), [&](const std::string& e) { return sameName(e, name); }))
        list.push_back(name);
    return list;
}

std::vector<std::string> NemoHandlers::without(std::vector<std::string> list, const std::string& name) {
    list.erase(std::remove_if(list.begin(), list.end(), [&](const std::string& e) { return sameName(e, name); }),
               list.end());
    return list;
}

NemoHandlers::NemoHandlers(std::string name, std::string stateDir)
    : name_(std::move(name)), marker_(std::move(stateDir) + "/nemo-handler-listed") {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
    if (!schema) return;
    const bool hasKey = g_settings_schema_has_key(schema, kKey);
    if (hasKey) settings_ = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    if (!settings_ || name_.empty()) return;
    auto* s = static_cast<GSettings*>(settings_);
    const auto list = read(s);
    std::error_code ec;
    const bool leftByUs = std::filesystem::exists(marker_, ec);
    if (with(list, name_) == list) {
        // Already there: the user's own entry stays; one a run of ours left behind is ours again.
        listed_ = leftByUs;
        return;
    }
    std::filesystem::create_directories(std::filesystem::path(marker_).parent_path(), ec);
    // The marker first: whatever happens next, the entry is never taken for the user's.
    if (!std::ofstream(marker_)) return;
    write(s, with(list, name_));
    listed_ = true;
}

NemoHandlers::~NemoHandlers() {
    restore();
    if (settings_) g_object_unref(static_cast<GSettings*>(settings_));
}

void NemoHandlers::restore() {
    if (!listed_) return;
    listed_ = false;
    auto* s = static_cast<GSettings*>(settings_);
    write(s, without(read(s), name_));
    std::error_code ec;
    std::filesystem::remove(marker_, ec);
}
