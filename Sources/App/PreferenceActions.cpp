#include "App/PreferenceActions.h"

#include <utility>

#include "App/Defaults.h"

PreferenceActions::PreferenceActions(Defaults& defaults, Reactions reactions)
    : defaults_(defaults), reactions_(std::move(reactions)) {}

bool PreferenceActions::store(const std::string& key, const PreferenceValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    const auto* flag = std::get_if<bool>(&value);
    const auto* number = std::get_if<int64_t>(&value);
    if (key == "scene" && text) {
        defaults_.setScene(*text);
        defaults_.setDaily(false);
    } else if (key == "daily" && flag) {
        defaults_.setDaily(*flag);
    } else if (key == "lighting" && number) {
        defaults_.setLighting(*number);
    } else if (key == "folders" && number) {
        defaults_.setFolders(*number);
    } else if (key == "welcomed" && flag) {
        defaults_.setWelcomed(*flag);
    } else {
        return false;
    }
    return true;
}

void PreferenceActions::apply(const std::string& key, const PreferenceValue& value) {
    const int64_t oldFolders = defaults_.folders();
    applying_ = true;
    const bool stored = store(key, value);
    applying_ = false;
    if (!stored) return;
    if (key == "folders") {
        const int64_t now = defaults_.folders();
        if (now != oldFolders && reactions_.syncFolders) reactions_.syncFolders(now == 0);
        return;
    }
    if (reactions_.renderAll) reactions_.renderAll(0.7);
}
