#pragma once
// Why a layout read gave no layout: which source failed, a code as callers test it, and a reason for the
// log.

#include <iosfwd>
#include <string>

struct FinderError {
    // The code for every source that is missing, unreadable, malformed or too slow.
    static constexpr int unavailable = -1;

    std::string source;  // the source's name(), such as "gvfs metadata (Nemo)"
    int code = unavailable;
    std::string reason;  // for people only; callers decide on source and code
    // Nothing is wrong, the source is just not set up (no layout file written yet): not worth a log line.
    bool quiet = false;

    // Two errors are the same error when source and code agree; the reason is only an explanation.
    friend bool operator==(const FinderError& a, const FinderError& b) {
        return a.source == b.source && a.code == b.code;
    }
};

// For test failure messages.
void PrintTo(const FinderError& error, std::ostream* os);
