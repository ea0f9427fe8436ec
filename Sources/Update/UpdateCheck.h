#pragma once
// The update check: one HTTPS GET of the manifest "latest.json" on a background thread, with libcurl. It is
// quiet: every failure ends the check without effect, and nothing is retried.
//
// The request: 20 s for the whole transfer, TLS verification on, no cache, no extra header fields. Redirects
// are followed, so a web site that moves its manifest keeps working: at most five, and only to https, so a
// redirect can neither loop nor downgrade the connection. The final response is the one judged. The body is
// capped while it downloads: at 4096 bytes the transfer is cut off and the check fails. The response must
// then be, in this order: status 200, a JSON object, with a member "version" that is a string, newer than
// the running version (Update::isNewer).
//
// The application keeps one UpdateCheck and, on its main thread,
//     check.start(g_main_context_default(), [weak](Update::CheckResult r) {
//         if (auto self = weak.lock(); self && r.newer) self->update = *r.newer;
//     });
// The completion then runs in that main context, so the version is stored on the main thread only.

#include "Update/CheckOptions.h"
#include "Update/CheckResult.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <glib.h>

namespace Update {

class UpdateCheck {
public:
    using Options = CheckOptions;

    // What the transfer brought back, before any of the checks.
    struct Response {
        bool tooLarge = false;    // the body reached the cap and the transfer was cut off
        int transportCode = 0;    // CURLcode; 0 when the transfer completed
        std::string transportReason;
        long status = 0;          // the final response's status; 0 when there was none
        std::string body;
    };

    using Completion = std::function<void(CheckResult)>;

    // The largest body accepted, in bytes.
    static constexpr std::size_t largestBody = 4095;

    explicit UpdateCheck(Options options = Options());
    // Cuts a running transfer off at once and waits for its worker; its completion is never called.
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // Starts one check among the background jobs (Platform/Background) and returns at once; `done` runs on that worker, and must neither
    // start another check nor destroy this object. Returns false, starting nothing, while the previous check
    // still runs.
    bool start(Completion done);
    // The same, but `done` runs in `context` (a GLib main context, e.g. g_main_context_default()) while this
    // object exists; after it is destroyed nothing is delivered.
    bool start(GMainContext* context, Completion done);

    // One check on the calling thread, waiting for the transfer.
    static CheckResult fetch(const Options& options);

    // The checks on a finished transfer, in order: size, transport, status, JSON object, string "version",
    // newer than `running`.
    static CheckResult judge(const Response& response, std::string_view running);

    // The state a worker shares with its owner; defined where the checks run.
    struct Shared;

private:
    Options options_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace Update
