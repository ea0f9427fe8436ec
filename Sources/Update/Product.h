#pragma once
// Facts about the build that the update check needs: the product's web site (the CMake cache setting
// VM_WEBSITE) and the running version (the project version).

#include <string>
#include <string_view>

namespace Update {

// The web site's address as configured, an https:// origin; the status menu opens it.
std::string_view website();

// The manifest "latest.json" at the root of `site`: any path, query or fragment of the address is dropped.
std::string manifestUrl(std::string_view site);
inline std::string manifestUrl() { return manifestUrl(website()); }

// The root page of `site` ("/" below its origin), which the status menu's update item opens.
std::string rootPage(std::string_view site);

// The version this program was built as; "0" when the build carries none.
std::string_view runningVersion();

}  // namespace Update
