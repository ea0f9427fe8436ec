#pragma once
// Starting the program at login: an XDG autostart entry "<id>.desktop" in the user's autostart directory,
// which the session starts at login. The file is recognised as ours by its key X-Vistamere-LoginItem=true.
//
// Status, as the settings read it:
//   no file                                                         → notRegistered
//   an entry the session starts (no Hidden=true, no
//   X-GNOME-Autostart-enabled=false) whose program exists           → enabled
//   such an entry whose program is missing, or a file that is
//   no desktop entry at all                                         → notFound
//   an entry the session skips (Hidden=true or
//   X-GNOME-Autostart-enabled=false)                                → notRegistered
// `requiresApproval` exists for the settings' sake only: nothing here asks for approval.
//
// Registering writes our entry (keeping what the user added to an entry of ours); unregistering removes
// ours. A file someone else wrote, or one that cannot be read as an entry, is never changed or removed.

#include "Settings/LoginItemError.h"

#include <filesystem>
#include <optional>
#include <string>

class LoginItem {
public:
    enum class Status : int { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    // The entry `directory`/`id`.desktop starting `executable` (an absolute path).
    LoginItem(std::filesystem::path directory, std::string id, std::filesystem::path executable);
    // $XDG_CONFIG_HOME/autostart/vistamere.desktop, starting this very program.
    static LoginItem forThisProgram();
    // $XDG_CONFIG_HOME/autostart, ~/.config/autostart when it is unset.
    static std::filesystem::path defaultDirectory();
    // The program running now, for an autostart entry: startablePath of /proc/self/exe and $PATH; empty
    // when unknown.
    static std::filesystem::path thisProgram();
    // What an entry should start for the program at `running` (as /proc/self/exe reads): the first name
    // for it in the absolute directories of `searchPath` (a PATH value), so that an entry written from
    // /opt/vistamere-1/vistamere through a link /usr/local/bin/vistamere still starts after an upgrade
    // moves the link; else `running`, without the " (deleted)" that the kernel adds once an upgrade has
    // replaced the file under the running program.
    static std::filesystem::path startablePath(const std::string& running, const std::string& searchPath);

    const std::filesystem::path& file() const { return file_; }

    Status status() const;
    std::optional<LoginItemError> registerItem();
    std::optional<LoginItemError> unregisterItem();

    // Registers (on) or unregisters, and returns the status afterwards. A failure is logged as one line on
    // stderr, "Vistamere: login item change failed: " and the reason, and otherwise ignored.
    Status set(bool on);

    // `path` as one argument of an Exec line: quoted where the desktop entry rules need it, "%" doubled.
    static std::string execArgument(const std::string& path);

private:
    std::filesystem::path directory_;
    std::filesystem::path file_;
    std::filesystem::path executable_;
};
