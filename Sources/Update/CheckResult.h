#pragma once
// What one update check found: the newer version, or why there is none. The check is quiet, so callers
// normally only look at `newer`; the error is for tests and diagnostics.

#include <optional>
#include <string>
#include <utility>

namespace Update {

struct CheckError {
    enum class Domain {
        transport,  // code is a CURLcode: no network, time-out, TLS, refused protocol or redirect
        http,       // code is the final response's status, anything but 200
        manifest,   // code is one of the Code values below
    };
    enum Code : int {
        tooLarge = 1,      // the body reached 4096 bytes
        notJson,           // the body does not parse as JSON
        notObject,         // the top-level value is not an object
        noVersion,         // no member "version"
        versionNotString,  // "version" is not a string
        invalidVersion,    // the version is not a dotted list of one to four integers
        notNewer,          // the version is not newer than the running one
        failed,            // the check itself could not run (no memory, no curl handle)
    };

    Domain domain = Domain::manifest;
    int code = 0;
    std::string reason;  // for people only

    static CheckError own(Code c, std::string reason) { return {Domain::manifest, c, std::move(reason)}; }
};

struct CheckResult {
    std::optional<std::string> newer;  // the manifest's version, unchanged, when it is newer
    std::optional<CheckError> error;   // set exactly when `newer` is not
};

}  // namespace Update
