#pragma once
// Why a login item change failed: where the code comes from, the code, and a line for the log.

#include <string>
#include <utility>

struct LoginItemError {
    enum class Domain {
        posix,      // code is an errno value
        glib,       // code is a GLib error code (GFileError, GKeyFileError)
        loginItem,  // code is one of the Code values below
    };
    enum Code : int {
        foreignEntry = 1,  // an autostart entry someone else wrote is in the way; it is never changed
        malformedEntry,    // a file that is no desktop entry is in the way; it is never changed
        noExecutable,      // this program's own path is unknown
    };

    Domain domain = Domain::loginItem;
    int code = 0;
    std::string reason;

    static LoginItemError own(Code c, std::string reason) { return {Domain::loginItem, c, std::move(reason)}; }
};
