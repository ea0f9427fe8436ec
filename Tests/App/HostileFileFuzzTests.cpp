// Random hostile preference files, from a fixed seed so that a failure can be replayed: each is read at
// once, every value comes out in its range, and the next write gives a file that reads back.
#include "App/Defaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "App/AppTestSupport.h"
#include "Platform/Files/JsonLimits.h"

namespace {

const std::vector<std::string> kPieces = {
    "[", "]", "{", "}", "\"", ",", ":", "\\", "\\u00", "\\ud800", "\xff\xfe", "\xc3", "1e308", "1e999",
    "-0", "0.5", "7", "-3", "9223372036854775807", "9223372036854775808", "-9223372036854775809",
    "18446744073709551616", "null", "true", "false", "\"pond\"", "\"lighting\":", "\"folders\":", "\"scene\":",
    std::string(1, '\0'), std::string(200, '['), std::string(63, '['), std::string(63, ']'), std::string(5000, '7'),
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(HostileFiles, FuzzedPreferencesAreReadAtOnceInRangeAndWrittenBackSound) {
    std::mt19937_64 rng(0xDEFA017ULL);
    auto below = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    const std::string seed =
        R"({"scene":"pond","daily":true,"lighting":2,"folders":1,"welcomed":true,"future":{"a":[1,2,{"b":null}]}})";
    for (int round = 0; round < 150; ++round) {
        std::string text = seed;
        for (size_t e = 0, edits = 1 + below(5); e < edits; ++e) {
            const size_t at = below(text.size() + 1);
            switch (below(4)) {
                case 0:
                case 1: text.insert(at, kPieces[below(kPieces.size())]); break;
                case 2: text.erase(at, below(10)); break;
                case 3: text.resize(at); break;
            }
        }
        std::string tag("s");  // the round's scene name
        tag += std::to_string(round);
        SCOPED_TRACE(tag + ": " + text.substr(0, 160));
        TempDir dir;
        dir.write("defaults.json", text);
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        {
            Defaults d(dir.path());
            EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5);
            EXPECT_TRUE(d.lighting() >= 0 && d.lighting() <= 2) << d.lighting();
            EXPECT_TRUE(d.folders() == 0 || d.folders() == 1) << d.folders();
            // A scene name of any bytes, written out as valid JSON whatever they are.
            std::string scene = tag;
            if (below(3) == 0) scene += "\xff\xc3";
            d.setScene(scene);
            d.setLighting(static_cast<int64_t>(below(3)));
            d.setWelcomed(!d.welcomed());
        }  // the store's end waits for its writes
        (void)testing::internal::GetCapturedStderr();
        const std::string written = slurp(dir.path() + "/defaults.json");
        EXPECT_LE(json_limits::nesting(written, 1000), Defaults::maxDepth);
        testing::internal::CaptureStderr();
        Defaults again(dir.path());
        const std::string err = testing::internal::GetCapturedStderr();
        // Well formed now; values of the user's that were out of range stay theirs, refused again.
        EXPECT_EQ(err.find("cannot read"), std::string::npos) << err << written.substr(0, 300);
        EXPECT_EQ(again.scene().rfind(tag, 0), 0u) << again.scene();
    }
}

TEST(HostileFiles, FuzzedOutsideEditsKeepEveryValueInRange) {
    std::mt19937_64 rng(0x0D5EULL);
    auto below = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    TempDir dir;
    dir.write("defaults.json", R"({"lighting":1,"folders":1})");
    testing::internal::CaptureStderr();
    Defaults d(dir.path());
    for (int round = 0; round < 60; ++round) {
        std::string text = R"({"scene":"reef","lighting":2,"folders":0})";
        text.insert(below(text.size() + 1), kPieces[below(kPieces.size())]);
        ASSERT_TRUE(g_file_set_contents(d.path().c_str(), text.data(), static_cast<gssize>(text.size()), nullptr));
        settle(Defaults::quietSeconds / 3);
        EXPECT_TRUE(d.lighting() >= 0 && d.lighting() <= 2) << text;
        EXPECT_TRUE(d.folders() == 0 || d.folders() == 1) << text;
    }
    settle(0.5);
    (void)testing::internal::GetCapturedStderr();
}
