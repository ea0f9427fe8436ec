#pragma once
// Why a layout read gave no layout: a domain and a code as callers test them, and a reason for the log.

#include <string>

struct FinderError {
    // The code for every source that is missing, unreadable, malformed or too slow.
    static constexpr int unavailable = -1;

    std::string domain = "Finder";
    int code = unavailable;
    std::string reason;  // for people only; callers decide on domain and code
    // Nothing is wrong, the source is just not set up (no layout file written yet): not worth a log line.
    bool quiet = false;

    // Two errors are the same error when domain and code agree; the reason is only an explanation.
    friend bool operator==(const FinderError& a, const FinderError& b) {
        return a.domain == b.domain && a.code == b.code;
    }
};
