#include "Update/Product.h"

#ifndef VM_WEBSITE
#error "VM_WEBSITE must be defined by the build"
#endif
#ifndef VM_VERSION
#define VM_VERSION ""
#endif

namespace Update {

std::string_view website() { return VM_WEBSITE; }

std::string rootPage(std::string_view site) {
    const std::size_t scheme = site.find("://");
    const std::size_t hostStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t hostEnd = site.find_first_of("/?#", hostStart);
    return std::string(site.substr(0, hostEnd)) + "/";
}

std::string manifestUrl(std::string_view site) { return rootPage(site) + "latest.json"; }

std::string_view runningVersion() {
    constexpr std::string_view built = VM_VERSION;
    return built.empty() ? std::string_view("0") : built;
}

}  // namespace Update
