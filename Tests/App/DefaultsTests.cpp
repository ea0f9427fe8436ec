#include "App/Defaults.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <tuple>

#include "App/AppTestSupport.h"
#include "Platform/Files/JsonLimits.h"
#include "Files/WithoutFileOverrides.h"
#include "Platform/Files/Files.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Writes the file the way an editor that saves atomically does.
void replace(const std::string& path, const std::string& text) {
    ASSERT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr));
}

struct FileCase {
    const char* name;
    const char* text;
    Defaults::Values expected;
    const char* complaint;  // a word stderr must carry, or "" for silence
};

TEST(Defaults, ReadsWhatItCanAndKeepsTheDefaultsForTheRest) {
    const FileCase cases[] = {
        {"absent keys", "{}", {}, ""},
        {"every key", R"({"scene":"pond","daily":true,"lighting":2,"folders":1,"welcomed":true})",
         {"pond", true, 2, 1, true}, ""},
        {"lighting of the wrong type", R"({"scene":"reef","daily":true,"lighting":"dark","folders":1})",
         {"reef", true, 0, 1, false}, "lighting"},
        {"fractional lighting", R"({"lighting":1.5,"welcomed":true})", {"", false, 0, 0, true}, "lighting"},
        {"scene as a number, daily as a string", R"({"scene":5,"daily":"yes","folders":1})",
         {"", false, 0, 1, false}, "scene, daily"},
        {"folders past the integer range", R"({"folders":18446744073709551615,"scene":"sea"})",
         {"sea", false, 0, 0, false}, "folders"},
        {"not JSON at all", "scene = pond\n", {}, "cannot read"},
        {"an array", "[1, 2]", {}, "cannot read"},
        {"unknown keys are ignored", R"({"future":3,"scene":"winter"})", {"winter", false, 0, 0, false}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("defaults.json", c.text);
        testing::internal::CaptureStderr();
        Defaults d(dir.path());
        std::string err = testing::internal::GetCapturedStderr();
        Defaults::Values got{d.scene(), d.daily(), d.lighting(), d.folders(), d.welcomed()};
        EXPECT_EQ(got, c.expected);
        if (*c.complaint) EXPECT_NE(err.find(c.complaint), std::string::npos) << err;
        else EXPECT_EQ(err, "");
    }
}

TEST(Defaults, AnUnrecognisedSceneReadsAsArchipelago) {
    const std::pair<const char*, SceneKind> cases[] = {
        {"", SceneKind::archipelago},     {"City 2", SceneKind::archipelago}, {"Pond", SceneKind::archipelago},
        {" pond", SceneKind::archipelago}, {"pond", SceneKind::pond},         {"skyline", SceneKind::skyline},
    };
    TempDir dir;
    Defaults d(dir.path());
    for (auto [raw, kind] : cases) {
        d.setScene(raw);
        EXPECT_EQ(d.sceneKind(), kind) << raw;
        EXPECT_EQ(d.scene(), raw);  // the stored text itself is kept
    }
}

TEST(Defaults, WritesSurviveAndLeaveOtherKeysAlone) {
    TempDir dir;
    dir.write("defaults.json", R"({"future":"keep me","lighting":"dark","folders":1})");
    testing::internal::CaptureStderr();
    {
        Defaults d(dir.path());
        d.setScene("canyon");
        d.setDaily(true);
        ASSERT_TRUE(runUntil([&] { return slurp(d.path()).find("\"daily\": true") != std::string::npos; }));
    }
    testing::internal::GetCapturedStderr();
    std::string text = slurp(dir.path() + "/defaults.json");
    EXPECT_NE(text.find("keep me"), std::string::npos) << text;
    EXPECT_NE(text.find("\"dark\""), std::string::npos) << "an unreadable value is not thrown away: " << text;
    testing::internal::CaptureStderr();
    Defaults again(dir.path());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(again.scene(), "canyon");
    EXPECT_TRUE(again.daily());
    EXPECT_EQ(again.folders(), 1);
    EXPECT_EQ(again.lighting(), 0);
}

TEST(Defaults, AWriteOverABrokenFileKeepsTheBrokenFileAside) {
    TempDir dir;
    dir.write("defaults.json", "{ \"scene\": \"pond\", oops");
    testing::internal::CaptureStderr();
    Defaults d(dir.path());
    d.setLighting(2);
    ASSERT_TRUE(runUntil([&] { return slurp(d.path()).find("\"lighting\": 2") != std::string::npos; }));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(slurp(d.path() + ".bad"), "{ \"scene\": \"pond\", oops");
    EXPECT_NE(err.find("defaults.json.bad"), std::string::npos) << err;
}

TEST(Defaults, AnOutsideEditFiresTheHandlersOfTheKeysThatChanged) {
    TempDir dir;
    dir.write("defaults.json", R"({"scene":"reef","lighting":1})");
    Defaults d(dir.path());
    int scene = 0, lighting = 0, daily = 0;
    d.onChange(Defaults::Key::scene, [&] { ++scene; });
    d.onChange(Defaults::Key::lighting, [&] { ++lighting; });
    int removed = d.onChange(Defaults::Key::daily, [&] { ++daily; });
    d.removeHandler(removed);
    settle();
    replace(d.path(), R"({"scene":"sea","lighting":1,"daily":true})");
    ASSERT_TRUE(runUntil([&] { return scene > 0; }));
    settle();
    EXPECT_EQ(scene, 1);
    EXPECT_EQ(lighting, 0);
    EXPECT_EQ(daily, 0);
    EXPECT_EQ(d.scene(), "sea");
    EXPECT_TRUE(d.daily());
}

TEST(Defaults, AHalfSavedFileKeepsTheValuesInUseAndSaysSoOnce) {
    TempDir dir;
    dir.write("defaults.json", R"({"scene":"reef","folders":1})");
    Defaults d(dir.path());
    int calls = 0;
    d.onChange(Defaults::Key::scene, [&] { ++calls; });
    d.onChange(Defaults::Key::folders, [&] { ++calls; });
    settle();
    testing::internal::CaptureStderr();
    replace(d.path(), R"({"scene":"se)");
    settle(0.5);
    replace(d.path(), R"({"scene":"se)");
    settle(0.5);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(d.scene(), "reef");
    EXPECT_EQ(d.folders(), 1);
    size_t first = err.find("cannot read");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("cannot read", first + 1), std::string::npos) << "said more than once: " << err;
    // Once the file is whole again its values come through.
    replace(d.path(), R"({"scene":"sea","folders":1})");
    ASSERT_TRUE(runUntil([&] { return d.scene() == "sea"; }));
    EXPECT_EQ(calls, 1);
}

TEST(Defaults, ASetterFiresOnlyWhenTheValueChanges) {
    TempDir dir;
    Defaults d(dir.path());
    int calls = 0;
    d.onChange(Defaults::Key::welcomed, [&] { ++calls; });
    d.setWelcomed(false);
    EXPECT_EQ(calls, 0);
    d.setWelcomed(true);
    d.setWelcomed(true);
    EXPECT_EQ(calls, 1);
    // Our own write coming back through the file monitor is no change.
    settle(0.5);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(d.welcomed());
}

}  // namespace

namespace {

TEST(Defaults, ValuesSetJustBeforeQuittingReachTheDisk) {
    TempDir dir;
    {
        Defaults d(dir.path());
        for (int i = 0; i < 20; ++i) d.setLighting(i % 3);
        d.setScene("orbit");
        d.setFolders(1);
    }  // no main loop ran
    Defaults again(dir.path());
    EXPECT_EQ(again.scene(), "orbit");
    EXPECT_EQ(again.lighting(), 1);
    EXPECT_EQ(again.folders(), 1);
}

}  // namespace

namespace {

TEST(Defaults, AnOutsideEditAfterOurOwnWriteIsPickedUp) {
    TempDir dir;
    Defaults d(dir.path());
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        d.setLighting(1);
        // Our write reaches the disk first; its completion has not been seen on the main loop yet.
        for (int i = 0; i < 500 && slurp(d.path()).find("\"lighting\": 1") == std::string::npos; ++i) g_usleep(1000);
        const std::string scene = round % 2 ? "reef" : "city";
        replace(d.path(), "{\"lighting\":1,\"scene\":\"" + scene + "\"}");
        ASSERT_TRUE(runUntil([&] { return d.scene() == scene; }));
        d.setLighting(0);
        settle(0.1);
    }
}

}  // namespace

namespace {

// Makes the store, unblocking it if it waits on a FIFO at its file's place: a store that hangs fails the
// test instead of hanging it.
std::unique_ptr<Defaults> openWithin(const TempDir& dir, double seconds, double* took) {
    std::unique_ptr<Defaults> d;
    std::atomic<bool> done = false;
    const auto start = std::chrono::steady_clock::now();
    std::thread maker([&] {
        d = std::make_unique<Defaults>(dir.path());
        done = true;
    });
    while (!done && std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) g_usleep(1000);
    *took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!done) {
        // A writer that closes at once gives a blocked reader its end of file.
        const int fd = ::open((dir.path() + "/defaults.json").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    maker.join();
    return d;
}

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(Defaults, HostileFilesAreRefusedAtOnceAndKeptAsideOnTheNextWrite) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        const char* reason;
    };
    const Case cases[] = {
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"a directory", [](const std::string& p) { std::filesystem::create_directory(p); }, "not a regular file"},
        {"a symlink loop", [](const std::string& p) { std::filesystem::create_symlink(p, p); },
         "Too many levels of symbolic links"},
        {"an array 100 000 deep under an unknown key",
         [](const std::string& p) {
             std::ofstream(p) << "{\"scene\":\"pond\",\"future\":" << nested(100000) << "}";
         },
         "nested more than 64 deep"},
        {"a file of 200 MB",
         [](const std::string& p) {
             std::ofstream(p) << R"({"scene":"pond"})";
             std::filesystem::resize_file(p, 200u << 20);
         },
         "larger than 1048576 bytes"},
        {"one byte over 1 MB",
         [](const std::string& p) {
             std::ofstream(p) << "{\"scene\":\"pond\",\"pad\":\"" << std::string((1u << 20) - 24, 'x') << "\"}";
             ASSERT_EQ(std::filesystem::file_size(p), (1u << 20) + 1);
         },
         "larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.path() + "/defaults.json";
        c.make(path);
        testing::internal::CaptureStderr();
        double took = 0;
        auto d = openWithin(dir, 5, &took);
        EXPECT_LT(took, 5);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->scene(), "");
        // The first-launch write is the one that used to crash on the deep array.
        d->setWelcomed(true);
        // Read without blocking: until the write lands, a FIFO may still be there.
        ASSERT_TRUE(runUntil([&] {
            return files::readRegular(path, 1 << 20).value_or("").find("\"welcomed\": true") != std::string::npos;
        }));
        d.reset();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(path + ": " + c.reason), std::string::npos) << err;
        EXPECT_NE(err.find("kept as " + path + ".bad"), std::string::npos) << err;
        struct stat st {};
        EXPECT_EQ(::lstat((path + ".bad").c_str(), &st), 0);
        Defaults again(dir.path());
        EXPECT_TRUE(again.welcomed());
    }
}

TEST(Defaults, DataNestedWithinTheLimitSurvivesOurWrites) {
    TempDir dir;
    dir.write("defaults.json", "{\"future\":" + nested(63) + ",\"lighting\":1}");
    Defaults d(dir.path());
    EXPECT_EQ(d.lighting(), 1);
    d.setLighting(2);
    ASSERT_TRUE(runUntil([&] { return slurp(d.path()).find("\"lighting\": 2") != std::string::npos; }));
    const std::string text = slurp(d.path());
    EXPECT_EQ(json_limits::nesting(text, 1000), 64u) << text.substr(0, 200);
}

TEST(Defaults, ValuesOutOfRangeAreRefusedNamingTheFileTheKeyAndTheValue) {
    const std::tuple<const char*, const char*, int64_t, int64_t> cases[] = {
        // text, what stderr names, lighting, folders read
        {R"({"lighting":7,"folders":1})", "lighting 7 out of range", 0, 1},
        {R"({"lighting":-1})", "lighting -1 out of range", 0, 0},
        {R"({"folders":-3,"lighting":2})", "folders -3 out of range", 2, 0},
        {R"({"folders":2})", "folders 2 out of range", 0, 0},
        {R"({"folders":1,"lighting":2})", "", 2, 1},
    };
    for (const auto& [text, named, lighting, folders] : cases) {
        SCOPED_TRACE(text);
        TempDir dir;
        dir.write("defaults.json", text);
        testing::internal::CaptureStderr();
        Defaults d(dir.path());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(d.lighting(), lighting);
        EXPECT_EQ(d.folders(), folders);
        if (*named) {
            EXPECT_NE(err.find(d.path()), std::string::npos) << err;
            EXPECT_NE(err.find(named), std::string::npos) << err;
        } else {
            EXPECT_EQ(err, "");
        }
    }
}

TEST(Defaults, ABurstOfOutsideEditsIsReadOnce) {
    TempDir dir;
    dir.write("defaults.json", R"({"scene":"reef"})");
    Defaults d(dir.path());
    int calls = 0;
    d.onChange(Defaults::Key::scene, [&] { ++calls; });
    settle();
    for (int i = 0; i < 50; ++i) {
        replace(d.path(), std::string("{\"scene\":\"") + (i % 2 ? "pond" : "city") + "\"}");
        settle(0.002);
    }
    replace(d.path(), R"({"scene":"sea"})");
    ASSERT_TRUE(runUntil([&] { return d.scene() == "sea"; }));
    settle(0.5);
    EXPECT_EQ(calls, 1);
}

TEST(Defaults, AStreamOfOutsideEditsIsStillFollowed) {
    TempDir dir;
    dir.write("defaults.json", R"({"lighting":0})");
    Defaults d(dir.path());
    settle();
    // Edits every 50 ms for 2.5 s never leave a quiet moment; the values still come through as they go.
    std::string midway;
    for (int i = 1; i <= 50; ++i) {
        replace(d.path(), "{\"lighting\":" + std::to_string(i % 3) + ",\"scene\":\"s" + std::to_string(i) + "\"}");
        settle(0.05);
        if (i == 40) midway = d.scene();
    }
    EXPECT_NE(midway, "");
    ASSERT_TRUE(runUntil([&] { return d.scene() == "s50"; }));
}

TEST(Defaults, AFolderWeMayNotReadGivesTheDefaultsAndSaysWhy) {
    TempDir dir;
    dir.write("inner/defaults.json", R"({"scene":"pond"})");
    ::chmod((dir.path() + "/inner").c_str(), 0);
    testing::internal::CaptureStderr();
    {
        WithoutFileOverrides asAUser;
        Defaults d(dir.path() + "/inner");
        EXPECT_EQ(d.scene(), "");
    }
    const std::string err = testing::internal::GetCapturedStderr();
    ::chmod((dir.path() + "/inner").c_str(), 0700);
    EXPECT_NE(err.find(dir.path() + "/inner/defaults.json: Permission denied"), std::string::npos) << err;
}

TEST(JsonLimits, NestingIsCountedOutsideStringsOnly) {
    const std::tuple<const char*, size_t> cases[] = {
        {"{}", 1u},
        {"3", 0u},
        {R"({"a":[1,[2,{"b":3}]]})", 4u},
        {R"({"a":"[[[[[[["})", 1u},
        {R"({"a":"\"[[[[","b":[[]]})", 3u},
        {R"({"a":"\\","b":[[]]})", 3u},
        {"]]]]{", 1u},
        {"[[[[[[[[[[", 5u},  // the limit plus one
    };
    for (const auto& [text, depth] : cases) EXPECT_EQ(json_limits::nesting(text, 4), depth) << text;
}

}  // namespace
