#pragma once
// The one way the status menu and the settings window change a preference: write it, then re-render or
// re-synchronise the folder icons. Main thread only.

#include <functional>
#include <string>

#include "Settings/Preferences.h"

class Defaults;

class PreferenceActions {
public:
    struct Reactions {
        std::function<void(double fade)> renderAll;
        std::function<void(bool putBack)> syncFolders;
    };

    PreferenceActions(Defaults& defaults, Reactions reactions);

    // Stores `value` under `key`. Writing "scene" also turns "daily" off. A change of "folders" paints the
    // folders or, back to 0, puts their own icons back; writing the stored folder choice again does
    // nothing. Every other key re-renders with a 0.7 s fade, even when the value did not change. A value
    // of the wrong type for its key, or an unknown key, is not stored and starts nothing.
    void apply(const std::string& key, const PreferenceValue& value);

    // True while `apply` writes: the application's own reactions to preference changes stand back then,
    // so one choice gives one render.
    bool applying() const { return applying_; }

private:
    bool store(const std::string& key, const PreferenceValue& value);

    Defaults& defaults_;
    Reactions reactions_;
    bool applying_ = false;
};
