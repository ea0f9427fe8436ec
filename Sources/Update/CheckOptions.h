#pragma once
// How one update check fetches the manifest. The defaults are the product's: its web site, the version it
// was built as, 20 s for the whole transfer, https only.

#include "Update/Product.h"

#include <chrono>
#include <string>

namespace Update {

struct CheckOptions {
    std::string url = manifestUrl();
    std::string runningVersion = std::string(Update::runningVersion());
    std::chrono::milliseconds timeout{20000};
    long maxRedirects = 5;
    // For tests against a server of their own on the loopback only: allows plain http and bypasses any proxy
    // the environment names.
    bool plainHttpForTests = false;
};

}  // namespace Update
