#include <filesystem>
#include <gtest/gtest.h>

#include "Finder/FinderIcons.h"
#include "Finder/LayoutFileSource.h"
#include "Finder/TempDir.h"

// Most sessions never write a layout file: its absence must not read like a fault, while a file that is
// there but cannot be read still says why.
TEST(LayoutFileSource, OnlyAMissingFileIsAQuietFailure) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "/a-directory.json");
    struct Case {
        std::string path;
        bool quiet;
        const char* why;
    };
    const Case cases[] = {
        {dir.path() + "/nothing.json", true, "No such file"},
        {dir.path() + "/missing-folder/desktop-icons.json", true, "No such file"},
        {dir.path() + "/a-directory.json", false, "cannot read"},
        {dir.write("broken.json", "{"), false, "not a JSON object"},
    };
    for (const Case& c : cases) {
        const FinderResult r = FinderIcons(std::make_shared<LayoutFileSource>(c.path)).read();
        ASSERT_FALSE(r.ok()) << c.path;
        EXPECT_EQ(r.error().quiet, c.quiet) << c.path;
        EXPECT_NE(r.error().reason.find(c.why), std::string::npos) << c.path << ": " << r.error().reason;
    }
}
