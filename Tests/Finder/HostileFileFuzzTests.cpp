// Random hostile contents for every file and value the icon layout is read from: the layout file, the
// xfdesktop and PCManFM key files, and (under a session bus) the gvfs position values. From fixed seeds, so
// a failure can be replayed. Each read must finish quickly and give either an error or a sound layout.
#include "Finder/FinderIcons.h"
#include "Finder/GvfsIconSource.h"
#include "Finder/KeyFileIconSource.h"
#include "Finder/LayoutFileSource.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Finder/TempDir.h"

namespace {

// Pieces a broken or hostile writer might leave: numbers past every range, wrong types, bytes that are not
// UTF-8, brackets and groups left open, and control characters.
const std::vector<std::string> kPieces = {
    "[", "]", "{", "}", "\"", ",", ":", "=", "\n", "[/d/x]\n", "\\", "\\u00", "\\ud800", "\xff\xfe", "\xc3",
    "1e308", "-1e308", "1e999", "NaN", "inf", "-0", "0.5", "-3", "2000000", "9223372036854775808",
    "-9223372036854775809", "18446744073709551616", "null", "true", "nan,inf", "5,", ",5", "x,y", "  ",
    std::string(1, '\0'), "\x01", std::string(300, '['), std::string(70, '{'), std::string(4096, '9'),
};

struct Fuzzer {
    std::mt19937_64 rng;
    explicit Fuzzer(uint64_t seed) : rng(seed) {}
    size_t below(size_t n) { return static_cast<size_t>(rng() % n); }
    // `seed` with a few random edits: pieces put in, spans cut out or repeated, the end cut off.
    std::string mutate(const std::string& seed) {
        std::string s = seed;
        const size_t edits = 1 + below(6);
        for (size_t e = 0; e < edits; ++e) {
            const size_t at = s.empty() ? 0 : below(s.size() + 1);
            switch (below(5)) {
                case 0:
                case 1: s.insert(at, kPieces[below(kPieces.size())]); break;
                case 2: s.erase(at, below(8)); break;
                case 3: s.insert(at, s.substr(at, below(40))); break;
                case 4: s.resize(at); break;
            }
        }
        return s;
    }
};

bool sound(const DeskLayout& l) {
    for (const cg::Point& p : l.centers)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return std::isfinite(l.iconSize) && std::isfinite(l.textSize);
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void expectSound(const std::shared_ptr<IconLayoutSource>& source, const std::string& label) {
    const auto start = std::chrono::steady_clock::now();
    const FinderResult r = FinderIcons(source).read();
    EXPECT_LT(seconds(start), 10) << label;
    if (r.ok()) {
        EXPECT_TRUE(sound(r.layout())) << label;
    }
}

}  // namespace

TEST(HostileFiles, FuzzedLayoutFilesGiveAnErrorOrASoundLayout) {
    Fuzzer fuzz(0x1A70F11EULL);
    const std::string seed = R"({"centers": [[900, 80], [40, 80.5], [40, 20]], "iconSize": 96, "textSize": 13,
        "labelPosition": "right", "drawsDesktop": true})";
    TempDir dir;
    const std::string path = dir.write("desktop-icons.json", "");
    auto source = std::make_shared<LayoutFileSource>(path);
    for (int round = 0; round < 400; ++round) {
        const std::string text = fuzz.mutate(seed);
        dir.write("desktop-icons.json", text);
        expectSound(source, "round " + std::to_string(round) + ": " + text.substr(0, 120));
    }
    // Not a file at all: refused at once, never waited on.
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    expectSound(source, "a FIFO");
    EXPECT_FALSE(FinderIcons(source).read().ok());
    std::filesystem::remove(path);
    std::filesystem::create_symlink(path, path);
    EXPECT_FALSE(FinderIcons(source).read().ok());
}

TEST(HostileFiles, FuzzedKeyFilesGiveAnErrorOrASoundLayout) {
    Fuzzer fuzz(0x7EF17E5ULL);
    struct Kind {
        KeyFileIconSource::Manager manager;
        const char* file;
        std::string seed;
    };
    const Kind kinds[] = {
        {KeyFileIconSource::Manager::xfdesktop, "xfce4/desktop/icons.screen0-1000x800.rc",
         "[xfdesktop-version-4.10.3+-rcfile_format]\n4.10.3+=true\n\n[/home/u/Desktop/notes.txt]\nrow=0\ncol=0\n\n"
         "[/home/u/Desktop/b]\nrow=2\ncol=1\n"},
        {KeyFileIconSource::Manager::pcmanfm, "pcmanfm/default/desktop-items-0.conf",
         "[notes.txt]\nx=10\ny=20\n\n[trash:///]\nx=100\ny=20\n"},
        {KeyFileIconSource::Manager::pcmanfm, "libfm/libfm.conf", "[ui]\nbig_icon_size=32\n"},
    };
    for (const Kind& k : kinds) {
        TempDir dir;
        dir.write("pcmanfm/default/desktop-items-0.conf", "[a]\nx=1\ny=2\n");
        auto source = std::make_shared<KeyFileIconSource>(
            k.manager, KeyFileIconSource::Options{dir.path(), "", {{0, 0}}, dir.path() + "/Desktop", {1024, 768}});
        for (int round = 0; round < 200; ++round) {
            const std::string text = fuzz.mutate(k.seed);
            dir.write(k.file, text);
            expectSound(source, std::string(k.file) + " round " + std::to_string(round));
        }
    }
}

namespace {

void setMetadata(const std::string& path, const std::string& key, const std::string& value) {
    GFile* f = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    const bool ok = g_file_set_attribute_string(f, ("metadata::" + key).c_str(), value.c_str(),
                                                G_FILE_QUERY_INFO_NONE, nullptr, &error);
    g_object_unref(f);
    ASSERT_TRUE(ok) << (error ? error->message : "?") << " (is the gvfs metadata daemon there?)";
    if (error) g_error_free(error);
}

}  // namespace

TEST(SessionBusHostileFiles, FuzzedGvfsPositionsGiveAnErrorOrASoundLayout) {
    Fuzzer fuzz(0x6F5ULL);
    TempDir dir;
    const std::string desktop = dir.path() + "/Desktop";
    std::vector<std::string> entries;
    for (int i = 0; i < 12; ++i) entries.push_back(dir.write("Desktop/e" + std::to_string(i), "x"));
    using Manager = GvfsIconSource::Manager;
    for (int round = 0; round < 25; ++round) {
        for (const std::string& e : entries) {
            // GIO takes only UTF-8 strings for metadata: invalid text is made valid before it is stored.
            gchar* valid = g_utf8_make_valid(fuzz.mutate("120,52").c_str(), -1);
            for (const Manager m : {Manager::desktopIcons, Manager::nemo, Manager::caja})
                setMetadata(e, GvfsIconSource::attribute(m).substr(std::string("metadata::").size()), valid);
            setMetadata(e, "monitor", fuzz.below(3) ? "0" : std::string(valid));
            g_free(valid);
        }
        for (const Manager m : {Manager::desktopIcons, Manager::nemo, Manager::caja}) {
            auto source = std::make_shared<GvfsIconSource>(m, GvfsIconSource::Options{desktop, dir.path(), 1, {{0, 0}, {1920, 0}}, std::vector<std::string>{}});
            expectSound(source, GvfsIconSource::attribute(m) + " round " + std::to_string(round));
        }
    }
}
