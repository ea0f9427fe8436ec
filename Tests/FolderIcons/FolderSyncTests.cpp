// The decisions of a synchronisation pass against the fake back end: every case of a folder's state, the
// guards, and folders whose state could not be read in full, which must come through untouched.

#include <gtest/gtest.h>

#include "FolderIcons/FakeFolderBackend.h"
#include "FolderIcons/FolderIcons.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

namespace {

namespace fs = std::filesystem;
using FolderIcons::Error;
using FolderIcons::FakeFolderBackend;
using Op = FakeFolderBackend::Op;

const std::string userIcon = "file:///home/me/Pictures/star.png";

// A real directory, so that the guard against the home folder and the root can resolve it.
struct Desk {
    fs::path dir;
    FakeFolderBackend fake;
    Desk() {
        dir = fs::temp_directory_path() / ("vistamere-fake-desk-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        fake.files[userIcon] = {1, 2, 3};
    }
    ~Desk() { fs::remove_all(dir); }
    fs::path at(const std::string& name) const { return dir / name; }
    FakeFolderBackend::Folder& folder(const std::string& name) { return fake.addFolder(dir, name); }
    void sync(std::optional<SceneKind> scene) {
        const auto error = FolderIcons::sync(fake, dir, scene);
        ASSERT_FALSE(error) << error->reason;
    }
    // Whose icon the folder shows: "none", "user", or the scene key of a verified icon of ours.
    std::string icon(const std::string& name) {
        const auto& f = fake.folders[at(name)];
        if (!f.meta.customIcon) return "none";
        if (*f.meta.customIcon == userIcon) return "user";
        const auto bytes = fake.files.at(*f.meta.customIcon);
        const std::string expect = FolderIcons::digest(bytes);
        const std::string m = marker(name);
        const auto space = m.find(' ');
        return space != std::string::npos && m.substr(space + 1) == expect ? m.substr(0, space) : "unmarked";
    }
    std::string marker(const std::string& name) {
        const auto& attrs = fake.folders[at(name)].attributes;
        const auto it = attrs.find(FolderIcons::markerName);
        return it == attrs.end() ? "-" : std::string(it->second.begin(), it->second.end());
    }
    void setMarker(const std::string& name, const std::string& text) {
        fake.folders[at(name)].attributes[FolderIcons::markerName] = FolderIcons::Bytes(text.begin(), text.end());
    }
    // Every change the last passes made to the folder.
    std::vector<std::string> changes(const std::string& name) {
        std::vector<std::string> out;
        const std::string path = at(name).string();
        for (const std::string& line : fake.log) {
            const size_t space = line.find(' ');
            if (space != std::string::npos && line.compare(space + 1, std::string::npos, path) == 0) out.push_back(line);
        }
        return out;
    }
    bool paused() const { return std::find(fake.log.begin(), fake.log.end(), "pause 1500") != fake.log.end(); }
};

void userIconOn(Desk& d) { d.fake.folders[d.at("f")].meta.customIcon = userIcon; }

struct Case {
    const char* name;
    std::function<void(Desk&)> prepare;  // makes folder "f"
    std::optional<SceneKind> scene;
    const char* icon;    // what "f" shows afterwards
    bool marked;         // whether "f" still carries a marker
    bool paused = false;
};

TEST(FolderSync, EachStateOfAFolderGoesWhereItShould) {
    auto ours = [](SceneKind kind) {
        return [kind](Desk& d) { d.folder("f"); d.sync(kind); d.fake.log.clear(); };
    };
    auto then = [](std::function<void(Desk&)> a, std::function<void(Desk&)> b) {
        return [a, b](Desk& d) { a(d); b(d); };
    };
    auto label = [](Desk& d) { d.fake.folders[d.at("f")].meta.emblems = true; };
    auto tags = [](Desk& d) { d.fake.folders[d.at("f")].attributes[FolderIcons::tagsName] = {'r', 'e', 'd'}; };
    auto named = [](Desk& d) { d.fake.folders[d.at("f")].meta.iconName = true; };
    auto repo = [](Desk& d) { d.fake.otherPaths.insert(d.at("f") / ".git"); };
    auto plain = [](Desk& d) { d.folder("f"); };
    const std::vector<Case> cases = {
        {"a plain folder is painted", plain, SceneKind::winter, "winter.2", true},
        {"a labelled folder is not", then(plain, label), SceneKind::winter, "none", false},
        {"empty tags are no label", then(plain, [](Desk& d) { d.fake.folders[d.at("f")].attributes[FolderIcons::tagsName] = {' '}; }),
         SceneKind::winter, "winter.2", true},
        {"(a) labelled: ours comes off", then(ours(SceneKind::winter), label), SceneKind::winter, "none", false},
        {"(a) tagged: the user's icon stays, a stale marker goes",
         then(then(plain, userIconOn), then(tags, [](Desk& d) { d.setMarker("f", "winter.2 abc"); })), SceneKind::winter, "user", false},
        {"(b) a named icon: ours comes off", then(ours(SceneKind::city), named), SceneKind::city, "none", false},
        {"(c) no scene: ours comes off", ours(SceneKind::winter), std::nullopt, "none", false},
        {"(c) a repository: ours comes off", then(ours(SceneKind::winter), repo), SceneKind::winter, "none", false},
        {"a repository is not painted", then(plain, repo), SceneKind::winter, "none", false},
        {"(d) the same scene stays", ours(SceneKind::winter), SceneKind::winter, "winter.2", true},
        {"(e) an older scene is repainted after a wait", ours(SceneKind::winter), SceneKind::city, "city.2", true, true},
        {"(e) an icon the user sets during the wait stays",
         then(ours(SceneKind::winter), [](Desk& d) { d.fake.onPause = [&d] { userIconOn(d); }; }), SceneKind::city, "user", true, true},
        {"(f) the user's icon stays and is never marked", then(plain, userIconOn), SceneKind::reef, "user", false},
        {"(f) a key without digest is stale", then(then(plain, userIconOn), [](Desk& d) { d.setMarker("f", "reef.2"); }),
         SceneKind::reef, "user", false},
        {"(f) an empty marker is stale", then(plain, [](Desk& d) { d.setMarker("f", ""); }), std::nullopt, "none", false},
        {"(f) the user's icon under our marker of another file stays",
         then(ours(SceneKind::sea), userIconOn), std::nullopt, "user", false},
        {"a .directory icon is the user's", then(plain, [](Desk& d) { d.fake.folders[d.at("f")].meta.directoryIcon = true; }),
         SceneKind::sea, "none", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk d;
        c.prepare(d);
        d.sync(c.scene);
        EXPECT_EQ(d.icon("f"), c.icon);
        EXPECT_EQ(d.marker("f") != "-", c.marked) << d.marker("f");
        EXPECT_EQ(d.paused(), c.paused);
        if (std::string(c.name).starts_with("(d)")) {
            EXPECT_TRUE(d.changes("f").empty());
        }
    }
}

TEST(FolderSync, PackagesHiddenEntriesFilesAndLinksAreNeverTouched) {
    Desk d;
    d.folder("Thing.app");
    d.folder("Tools.Framework");
    d.folder(".hidden");
    d.fake.addEntry(d.dir, "notes.txt", FolderIcons::Entry::Kind::other);
    d.fake.addEntry(d.dir, "link", FolderIcons::Entry::Kind::other);
    d.fake.addEntry(d.dir, "unreadable", FolderIcons::Entry::Kind::unknown);
    d.sync(SceneKind::orbit);
    EXPECT_TRUE(d.fake.log.empty());
}

TEST(FolderSync, AFolderThatCannotBeReadInFullIsLeftAlone) {
    const Error eio = Error::posix(EIO, "injected"), eacces = Error::posix(EACCES, "injected");
    struct Injection {
        const char* name;
        Op op;
        std::string target;  // after the folder's path
        Error error;
        bool userIcon;       // the folder shows the user's icon rather than one of ours
    };
    const std::string marker = std::string("#") + FolderIcons::markerName;
    const std::vector<Injection> injections = {
        {"marker", Op::attribute, marker, eio, false},
        {"tags", Op::attribute, std::string("#") + FolderIcons::tagsName, eacces, true},
        {"metadata", Op::metadata, "", eio, true},
        {"icon bytes", Op::iconBytes, "", eacces, false},
        {".git", Op::exists, "/.git", eacces, false},
    };
    for (const Injection& inj : injections) {
        SCOPED_TRACE(inj.name);
        Desk d;
        d.folder("f");
        d.sync(SceneKind::winter);
        if (inj.userIcon) {
            d.fake.folders[d.at("f")].meta.customIcon = userIcon;
            d.fake.folders[d.at("f")].attributes[FolderIcons::tagsName] = {'x'};
        }
        const auto before = d.fake.folders[d.at("f")];
        d.fake.log.clear();
        const std::string target = inj.op == Op::iconBytes ? *before.meta.customIcon : d.at("f").string() + inj.target;
        d.fake.fail(inj.op, target, inj.error, 1);
        for (const auto scene : {std::optional<SceneKind>(SceneKind::city), std::optional<SceneKind>()}) {
            d.fake.fail(inj.op, target, inj.error, 1);
            d.sync(scene);
            EXPECT_TRUE(d.changes("f").empty());
            EXPECT_EQ(d.fake.folders[d.at("f")].meta.customIcon, before.meta.customIcon);
            EXPECT_EQ(d.fake.folders[d.at("f")].attributes, before.attributes);
        }
        // Once the read works again the pass does its work.
        d.sync(std::nullopt);
        EXPECT_EQ(d.icon("f"), inj.userIcon ? "user" : "none");
        EXPECT_EQ(d.marker("f"), "-");
    }
}

TEST(FolderSync, AnIconThatCannotBeMarkedOrTakenOffIsNeverLeftUnrecognised) {
    Desk d;
    d.folder("unmarkable");
    d.fake.fail(Op::setAttribute, d.at("unmarkable").string() + "#" + FolderIcons::markerName, Error::posix(ENOSPC, "full"));
    d.folder("unpaintable");
    d.fake.fail(Op::setIcon, d.at("unpaintable").string(), Error::posix(EPERM, "no"));
    d.folder("stuck");
    d.sync(SceneKind::canyon);
    EXPECT_EQ(d.icon("unmarkable"), "none");
    EXPECT_EQ(d.marker("unmarkable"), "-");
    // Marked first, so the marker comes off again when the icon cannot be set.
    EXPECT_EQ(d.icon("unpaintable"), "none");
    EXPECT_EQ(d.marker("unpaintable"), "-");
    // An icon of ours that will not come off keeps its marker, so a later pass still knows it.
    d.fake.fail(Op::removeIcon, d.at("stuck").string(), Error::posix(EIO, "busy"), 1);
    d.sync(std::nullopt);
    EXPECT_EQ(d.icon("stuck"), "canyon.2");
    d.sync(std::nullopt);
    EXPECT_EQ(d.icon("stuck"), "none");
    EXPECT_EQ(d.marker("stuck"), "-");
}

TEST(FolderSync, APassKilledAfterAnyOfItsChangesIsUndoneByTheNext) {
    struct Scenario {
        const char* name;
        std::optional<SceneKind> before;  // a pass that ran in full first
        std::optional<SceneKind> killed;  // the pass that is killed
    };
    const Scenario scenarios[] = {
        {"painting", std::nullopt, SceneKind::winter},
        {"repainting", SceneKind::winter, SceneKind::city},
        {"taking back", SceneKind::winter, std::nullopt},
    };
    auto prepare = [](Desk& d, std::optional<SceneKind> before) {
        d.folder("a");
        d.folder("b");
        d.folder("u").meta.customIcon = userIcon;
        if (before) d.sync(before);
        d.fake.log.clear();
    };
    for (const Scenario& s : scenarios) {
        size_t changes = 0;
        {
            Desk whole;
            prepare(whole, s.before);
            whole.sync(s.killed);
            for (const std::string& line : whole.fake.log) changes += line.starts_with("pause") ? 0 : 1;
        }
        ASSERT_GT(changes, 0u) << s.name;
        for (size_t n = 1; n <= changes; ++n) {
            SCOPED_TRACE(std::string(s.name) + ", killed after change " + std::to_string(n));
            Desk d;
            prepare(d, s.before);
            d.fake.changesBeforeKill = static_cast<int>(n);
            EXPECT_THROW((void)FolderIcons::sync(d.fake, d.dir, s.killed), FakeFolderBackend::Killed);
            d.fake.changesBeforeKill = -1;
            // Folder icons turned off at the next start: nothing of ours may be left anywhere.
            d.sync(std::nullopt);
            for (const char* name : {"a", "b"}) {
                EXPECT_EQ(d.icon(name), "none") << name;
                EXPECT_EQ(d.marker(name), "-") << name;
            }
            EXPECT_EQ(d.icon("u"), "user");
        }
    }
}

TEST(FolderSync, AFolderLeftAloneIsNamedWithTheReason) {
    Desk d;
    d.folder("f");
    d.fake.fail(Op::metadata, d.at("f").string(), Error::posix(EACCES, "reading the metadata store: Permission denied"));
    testing::internal::CaptureStderr();
    d.sync(SceneKind::pond);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "vistamere: folder icons: leaving " + d.at("f").string() +
                       " as it is: reading the metadata store: Permission denied\n");
    EXPECT_EQ(d.icon("f"), "none");
}

TEST(FolderSync, RefusesTheHomeFolderTheRootAnUnlistableDirectoryAndAnUnsupportedBackEnd) {
    Desk d;
    d.folder("f");
    const char* oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    ::setenv("HOME", d.dir.c_str(), 1);
    const auto home = FolderIcons::sync(d.fake, d.dir / "." , SceneKind::sea);
    ::setenv("HOME", saved.c_str(), 1);
    ASSERT_TRUE(home);
    EXPECT_EQ(home->code, Error::unsafeDirectory);
    const auto root = FolderIcons::sync(d.fake, "/", SceneKind::sea);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->code, Error::unsafeDirectory);

    d.fake.fail(Op::list, d.dir.string(), Error::posix(EACCES, "denied"), 1);
    const auto listing = FolderIcons::sync(d.fake, d.dir, SceneKind::sea);
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->code, EACCES);

    d.fake.unsupported = Error::own(Error::unsupported, "no gvfs here");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(FolderIcons::sync(d.fake, d.dir, SceneKind::sea));
    EXPECT_TRUE(FolderIcons::sync(d.fake, d.dir, SceneKind::sea));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "vistamere: folder icons are off: no gvfs here\n");
    EXPECT_TRUE(d.fake.log.empty());
}

TEST(FolderSync, AttributeReadsRetryAValueThatChangesAndTellAbsenceFromFailure) {
    struct Read {
        const char* name;
        std::vector<ssize_t> sizes;  // what each call answers; negative: fails with errno -size
        std::optional<size_t> length;  // the value read, or none
        bool failed;
    };
    const std::vector<Read> reads = {
        {"no attribute", {-ENODATA}, std::nullopt, false},
        {"no file", {-ENOENT}, std::nullopt, false},
        {"denied", {-EACCES}, std::nullopt, true},
        {"input error", {-EIO}, std::nullopt, true},
        {"empty value", {0}, 0, false},
        {"grew once", {4, -ERANGE, 6, 6}, 6, false},
        {"shrank once", {6, 4, 4, 4}, 4, false},
        {"removed meanwhile", {4, -ENODATA}, std::nullopt, false},
        {"never settles", {4, -ERANGE, 5, -ERANGE, 6, -ERANGE, 7, -ERANGE}, std::nullopt, true},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(r.name);
        size_t call = 0;
        const auto found = FolderIcons::attribute("/f", "user.x", [&](const char*, const char*, void*, size_t) -> ssize_t {
            const ssize_t answer = r.sizes.at(call++);
            if (answer < 0) errno = static_cast<int>(-answer);
            return answer < 0 ? -1 : answer;
        });
        EXPECT_EQ(found.failedToRead(), r.failed);
        EXPECT_EQ(found.value.has_value(), r.length.has_value());
        if (found.value && r.length) {
            EXPECT_EQ(found.value->size(), *r.length);
        }
    }
}

}  // namespace
