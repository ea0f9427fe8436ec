#include "App/Defaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "App/AppTestSupport.h"

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
