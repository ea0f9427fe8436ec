#include "Finder/SettingsLookup.h"

#include "Platform/Files/Files.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <gio/gio.h>
#include <mutex>
#include <set>
#include <tuple>

PrefValue SettingsLookup::gsettings(const std::string& schemaId, const std::string& key) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return {};
    g_autoptr(GSettingsSchema) schema = g_settings_schema_source_lookup(source, schemaId.c_str(), TRUE);
    if (!schema) return {};
    PrefValue out;
    if (g_settings_schema_has_key(schema, key.c_str())) {
        g_autoptr(GSettings) settings = g_settings_new_full(schema, nullptr, nullptr);
        g_autoptr(GVariant) v = g_settings_get_value(settings, key.c_str());
        if (g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN)) out = bool(g_variant_get_boolean(v));
        else if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING)) out = std::string(g_variant_get_string(v, nullptr));
        else if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32)) out = double(g_variant_get_int32(v));
        else if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) out = double(g_variant_get_uint32(v));
        else if (g_variant_is_of_type(v, G_VARIANT_TYPE_DOUBLE)) out = g_variant_get_double(v);
        else out = OtherPref{};
    }
    return out;
}

std::optional<std::string> SettingsLookup::keyFile(const std::string& path, const std::string& group,
                                                   const std::string& key) {
    // Read without blocking and only when regular: a FIFO in its place must not hold the reader.
    const auto text = files::readRegular(path, 1 << 20);
    if (!text) return std::nullopt;
    g_autoptr(GKeyFile) kf = g_key_file_new();
    if (!g_key_file_load_from_data(kf, text->data(), text->size(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    g_autofree gchar* v = g_key_file_get_value(kf, group.c_str(), key.c_str(), nullptr);
    if (!v) return std::nullopt;
    return std::string(v);
}

std::optional<double> SettingsLookup::fontPixels(const PrefValue& description) {
    const auto* text = std::get_if<std::string>(&description);
    if (!text) return std::nullopt;
    std::string size = text->substr(text->find_last_of(' ') == std::string::npos ? 0 : text->find_last_of(' ') + 1);
    const bool pixels = size.size() > 2 && size.compare(size.size() - 2, 2, "px") == 0;
    if (pixels) size.resize(size.size() - 2);
    const auto v = number(size);
    if (!v || !(*v > 0)) return std::nullopt;
    return pixels ? *v : *v * 96 / 72;
}

std::optional<long> SettingsLookup::integer(const std::string& text) {
    const auto v = number(text);
    if (!v || *v != std::floor(*v) || std::fabs(*v) > 1e9) return std::nullopt;
    return static_cast<long>(*v);
}

std::optional<double> SettingsLookup::number(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (!*begin) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    // The C locale's strtod: key files and metadata always write a point, whatever the user's locale.
    const double v = g_ascii_strtod(begin, &end);
    while (*end == ' ' || *end == '\t') ++end;
    if (*end || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<double> SettingsLookup::sizeIn(const std::string& text, double low, double high,
                                             const std::string& file, const std::string& key) {
    const auto v = number(text);
    if (v && *v >= low && *v <= high) return v;
    char range[64];
    std::snprintf(range, sizeof range, "not a size from %g to %g", low, high);
    refuse(file, key, text, range);
    return std::nullopt;
}

void SettingsLookup::refuse(const std::string& file, const std::string& key, const std::string& value,
                            const std::string& why) {
    // Sources are read again on every change of their files: one line per bad value is enough.
    static std::mutex mutex;
    static std::set<std::tuple<std::string, std::string, std::string>> said;
    {
        std::lock_guard lock(mutex);
        if (!said.emplace(file, key, value).second) return;
    }
    std::fprintf(stderr, "vistamere: %s: %s = \"%s\" is %s; ignored\n", file.c_str(), key.c_str(), value.c_str(),
                 why.c_str());
}
