// The update check against a server of the test's own on 127.0.0.1: the body cap, the status, the manifest's
// shape, redirects, time-outs, and delivery into a GLib main context.

#include <gtest/gtest.h>

#include "Update/LocalServer.h"
#include "Update/Product.h"
#include "Update/UpdateCheck.h"

#include <curl/curl.h>
#include <glib.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace {

using testing_support::LocalServer;
using Update::CheckError;
using Update::CheckResult;
using Update::UpdateCheck;
using Domain = CheckError::Domain;

// A manifest object of exactly `size` bytes announcing `version`.
std::string manifest(const std::string& version, size_t size) {
    const std::string head = "{\"version\":\"" + version + "\",\"notes\":\"";
    const std::string tail = "\"}";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

UpdateCheck::Options local(const LocalServer& server, const std::string& path) {
    UpdateCheck::Options options;
    options.url = server.url(path);
    options.runningVersion = "1.0";
    options.timeout = std::chrono::milliseconds(5000);
    options.plainHttpForTests = true;
    return options;
}

struct Expect {
    std::optional<std::string> newer;
    Domain domain = Domain::manifest;
    int code = 0;
};

void expectResult(const CheckResult& r, const Expect& e, const std::string& what) {
    EXPECT_EQ(r.newer, e.newer) << what << (r.error ? ": " + r.error->reason : "");
    EXPECT_NE(r.newer.has_value(), r.error.has_value()) << what;
    if (!e.newer && r.error) {
        EXPECT_EQ(r.error->domain, e.domain) << what << ": " << r.error->reason;
        EXPECT_EQ(r.error->code, e.code) << what << ": " << r.error->reason;
    }
}

TEST(UpdateCheck, JudgesWhatTheServerSends) {
    const std::string exact = manifest("2.0", 4095);
    ASSERT_EQ(exact.size(), 4095u);
    LocalServer server({
        {"/exact", LocalServer::reply(200, exact)},
        {"/over", LocalServer::reply(200, manifest("2.0", 4096))},
        {"/stream", LocalServer::reply(200, manifest("2.0", 1 << 20), "", false)},
        {"/missing", LocalServer::reply(404, "{\"version\":\"2.0\"}")},
        {"/array", LocalServer::reply(200, "[\"2.0\"]")},
        {"/number", LocalServer::reply(200, "{\"version\":1.2}")},
        {"/null", LocalServer::reply(200, "{\"version\":null}")},
        {"/no-version", LocalServer::reply(200, "{\"latest\":\"2.0\"}")},
        {"/broken", LocalServer::reply(200, "{\"version\":\"2.0\"")},
        {"/empty", LocalServer::reply(200, "")},
        {"/same", LocalServer::reply(200, "{\"version\":\"1.0.0\"}")},
        {"/older", LocalServer::reply(200, "{\"version\":\"0.9\"}")},
        {"/beta", LocalServer::reply(200, "{\"version\":\"1.1-beta\"}")},
        {"/extra", LocalServer::reply(200, "{\"name\":\"x\",\"version\":\"1.10\",\"url\":[1,2]}")},
        {"/moved", LocalServer::redirect(302, "/exact")},
        {"/moved-twice", LocalServer::redirect(301, "/moved")},
        {"/moved-to-missing", LocalServer::redirect(307, "/missing")},
        {"/moved-with-body", LocalServer::redirect(302, "/extra", std::string(8000, 'r'))},
        {"/loop", LocalServer::redirect(302, "/loop")},
        {"/redirect-only", LocalServer::redirect(302, "")},
    });
    ASSERT_TRUE(server.listening());
    struct Case {
        const char* path;
        Expect expect;
    };
    const Case cases[] = {
        {"/exact", {"2.0"}},
        {"/over", {std::nullopt, Domain::manifest, CheckError::tooLarge}},
        {"/stream", {std::nullopt, Domain::manifest, CheckError::tooLarge}},
        {"/missing", {std::nullopt, Domain::http, 404}},
        {"/array", {std::nullopt, Domain::manifest, CheckError::notObject}},
        {"/number", {std::nullopt, Domain::manifest, CheckError::versionNotString}},
        {"/null", {std::nullopt, Domain::manifest, CheckError::versionNotString}},
        {"/no-version", {std::nullopt, Domain::manifest, CheckError::noVersion}},
        {"/broken", {std::nullopt, Domain::manifest, CheckError::notJson}},
        {"/empty", {std::nullopt, Domain::manifest, CheckError::notJson}},
        {"/same", {std::nullopt, Domain::manifest, CheckError::notNewer}},
        {"/older", {std::nullopt, Domain::manifest, CheckError::notNewer}},
        {"/beta", {std::nullopt, Domain::manifest, CheckError::invalidVersion}},
        {"/extra", {"1.10"}},
        // Redirects are followed, a few at most; the final response is the one judged.
        {"/moved", {"2.0"}},
        {"/moved-twice", {"2.0"}},
        {"/moved-to-missing", {std::nullopt, Domain::http, 404}},
        {"/moved-with-body", {"1.10"}},
        {"/loop", {std::nullopt, Domain::transport, CURLE_TOO_MANY_REDIRECTS}},
        {"/redirect-only", {std::nullopt, Domain::http, 302}},
    };
    for (const Case& c : cases) expectResult(UpdateCheck::fetch(local(server, c.path)), c.expect, c.path);
}

TEST(UpdateCheck, ComparesWithTheRunningVersion) {
    LocalServer server({{"/latest.json", LocalServer::reply(200, "{\"version\":\"1.2\"}")}});
    ASSERT_TRUE(server.listening());
    struct Case {
        const char* running;
        Expect expect;
    };
    const Case cases[] = {
        {"1.1", {"1.2"}},
        {"1.2", {std::nullopt, Domain::manifest, CheckError::notNewer}},
        {"1.3", {std::nullopt, Domain::manifest, CheckError::notNewer}},
        {"1.0b", {std::nullopt, Domain::manifest, CheckError::notNewer}},  // an invalid running version
        {"0", {"1.2"}},                                                   // no version built in
    };
    for (const Case& c : cases) {
        auto options = local(server, "/latest.json");
        options.runningVersion = c.running;
        expectResult(UpdateCheck::fetch(options), c.expect, c.running);
    }
}

TEST(UpdateCheck, GivesUpAfterItsTimeout) {
    LocalServer server({{"/slow", LocalServer::hanging()}});
    ASSERT_TRUE(server.listening());
    auto options = local(server, "/slow");
    options.timeout = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    const CheckResult r = UpdateCheck::fetch(options);
    const auto took = std::chrono::steady_clock::now() - start;
    expectResult(r, {std::nullopt, Domain::transport, CURLE_OPERATION_TIMEDOUT}, "/slow");
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST(UpdateCheck, RefusesPlainHttpOutsideTests) {
    LocalServer server({{"/latest.json", LocalServer::reply(200, "{\"version\":\"2.0\"}")}});
    ASSERT_TRUE(server.listening());
    auto options = local(server, "/latest.json");
    options.plainHttpForTests = false;
    expectResult(UpdateCheck::fetch(options), {std::nullopt, Domain::transport, CURLE_UNSUPPORTED_PROTOCOL}, "http");
    EXPECT_EQ(server.requests(), 0);
    // Defaults: the manifest on the configured web site, the full 20 s, https only.
    const UpdateCheck::Options defaults;
    EXPECT_EQ(defaults.url, Update::manifestUrl(Update::website()));
    EXPECT_EQ(defaults.url.rfind("https://", 0), 0u);
    EXPECT_EQ(defaults.timeout, std::chrono::seconds(20));
    EXPECT_FALSE(defaults.plainHttpForTests);
}

// Runs `context` until `done` or five seconds have passed.
void runUntil(GMainContext* context, const std::atomic<bool>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < end) {
        g_main_context_iteration(context, FALSE);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(UpdateCheck, DeliversInTheGivenMainContext) {
    LocalServer server({{"/latest.json", LocalServer::reply(200, "{\"version\":\"3.1\"}")}});
    ASSERT_TRUE(server.listening());
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    std::atomic<bool> done = false;
    std::optional<std::string> update;
    std::thread::id deliveredOn;
    {
        UpdateCheck check(local(server, "/latest.json"));
        ASSERT_TRUE(check.start(context, [&](CheckResult r) {
            update = r.newer;
            deliveredOn = std::this_thread::get_id();
            done = true;
        }));
        runUntil(context, done);
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(update, "3.1");
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

TEST(UpdateCheck, OneCheckAtATimeAndNothingAfterItsOwnerIsGone) {
    LocalServer server({{"/slow", LocalServer::hanging()}, {"/latest.json", LocalServer::reply(200, "{\"version\":\"2\"}")}});
    ASSERT_TRUE(server.listening());
    std::atomic<int> calls = 0;
    auto check = std::make_unique<UpdateCheck>(local(server, "/slow"));
    ASSERT_TRUE(check->start([&](CheckResult) { ++calls; }));
    EXPECT_FALSE(check->start([&](CheckResult) { ++calls; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    check.reset();  // the 5 s transfer is cut off at once
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(calls, 0);

    // A result already on its way to the main context is dropped when the owner goes first.
    GMainContext* context = g_main_context_new();
    std::atomic<bool> finished = false;
    check = std::make_unique<UpdateCheck>(local(server, "/latest.json"));
    ASSERT_TRUE(check->start(context, [&](CheckResult) { ++calls; }));
    // The worker hands the result over before it finishes; wait for that without running the context.
    for (int i = 0; i < 500 && !g_main_context_pending(context); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(g_main_context_pending(context));
    check.reset();
    while (g_main_context_iteration(context, FALSE)) finished = true;
    EXPECT_TRUE(finished);
    EXPECT_EQ(calls, 0);
    g_main_context_unref(context);
}

TEST(UpdateCheck, StartsAgainOnceTheLastCheckIsOver) {
    LocalServer server({{"/latest.json", LocalServer::reply(200, "{\"version\":\"1.1\"}")}});
    ASSERT_TRUE(server.listening());
    UpdateCheck check(local(server, "/latest.json"));
    for (int round = 0; round < 3; ++round) {
        std::atomic<bool> done = false;
        std::optional<std::string> update;
        // The worker clears its running flag right after the completion: retry briefly.
        bool started = false;
        for (int i = 0; i < 200 && !started; ++i) {
            started = check.start([&](CheckResult r) {
                update = r.newer;
                done = true;
            });
            if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(started) << round;
        for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(update, "1.1") << round;
    }
    EXPECT_EQ(server.requests(), 3);
}

TEST(UpdateProduct, TheManifestAndTheMenusPageLieAtTheRootOfTheSite) {
    struct Case {
        const char* site;
        const char* manifest;
        const char* root;
    };
    const Case cases[] = {
        {"https://vistamere.app", "https://vistamere.app/latest.json", "https://vistamere.app/"},
        {"https://vistamere.app/", "https://vistamere.app/latest.json", "https://vistamere.app/"},
        {"https://example.org:8443/downloads/page.html", "https://example.org:8443/latest.json",
         "https://example.org:8443/"},
        {"https://example.org?ref=menu", "https://example.org/latest.json", "https://example.org/"},
        {"https://example.org#top", "https://example.org/latest.json", "https://example.org/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Update::manifestUrl(c.site), c.manifest) << c.site;
        EXPECT_EQ(Update::rootPage(c.site), c.root) << c.site;
    }
    EXPECT_EQ(Update::runningVersion(), PROJECT_VERSION_FOR_TESTS);
}

}  // namespace

namespace {

// The checks run in order: the first that fails decides, whatever else is wrong.
TEST(UpdateCheck, TheFirstFailedCheckDecides) {
    struct Case {
        const char* what;
        UpdateCheck::Response response;
        Expect expect;
    };
    const std::string good = "{\"version\":\"2.0\"}";
    const Case cases[] = {
        {"cut off and timed out", {true, CURLE_WRITE_ERROR, "cut", 200, good}, {std::nullopt, Domain::manifest, CheckError::tooLarge}},
        {"a body past the cap", {false, 0, "", 200, std::string(4096, ' ') + good}, {std::nullopt, Domain::manifest, CheckError::tooLarge}},
        {"a transfer error with a good body", {false, CURLE_RECV_ERROR, "reset", 200, good}, {std::nullopt, Domain::transport, CURLE_RECV_ERROR}},
        {"no response", {false, CURLE_COULDNT_CONNECT, "refused", 0, ""}, {std::nullopt, Domain::transport, CURLE_COULDNT_CONNECT}},
        {"404 with a good body", {false, 0, "", 404, good}, {std::nullopt, Domain::http, 404}},
        {"a byte-order mark", {false, 0, "", 200, "\xEF\xBB\xBF" + good}, {"2.0"}},
        {"surrounding space", {false, 0, "", 200, " \n" + good + "\n"}, {"2.0"}},
        {"trailing garbage", {false, 0, "", 200, good + "x"}, {std::nullopt, Domain::manifest, CheckError::notJson}},
        {"invalid UTF-8", {false, 0, "", 200, "{\"version\":\"2.0\xff\"}"}, {std::nullopt, Domain::manifest, CheckError::notJson}},
        {"an empty version", {false, 0, "", 200, "{\"version\":\"\"}"}, {std::nullopt, Domain::manifest, CheckError::invalidVersion}},
        {"a nested version", {false, 0, "", 200, "{\"app\":{\"version\":\"2.0\"}}"}, {std::nullopt, Domain::manifest, CheckError::noVersion}},
        {"deep nesting", {false, 0, "", 200, std::string(2000, '[') + std::string(2000, ']')}, {std::nullopt, Domain::manifest, CheckError::notObject}},
    };
    for (const Case& c : cases) expectResult(UpdateCheck::judge(c.response, "1.0"), c.expect, c.what);
}

}  // namespace
