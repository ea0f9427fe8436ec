#include "Update/UpdateCheck.h"

#include "Platform/Background/Background.h"
#include "Update/Version.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include <curl/curl.h>
#include <nlohmann/json.hpp>

namespace Update {

struct UpdateCheck::Shared {
    std::mutex mutex;
    CURLM* multi = nullptr;  // the running transfer's, so the owner can wake it to stop
    bool stopping = false;
    std::atomic<bool> running{false};
    std::condition_variable finished;  // notified when a check clears `running`
};

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::string body;
    bool tooLarge = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    if (n > UpdateCheck::largestBody - sink->body.size()) {
        sink->tooLarge = true;
        return 0;  // cuts the transfer off: nothing past the cap is ever read
    }
    sink->body.append(data, n);
    return n;
}

// Every response of a redirect chain starts with its status line; only the last one's body counts.
size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    if (n >= 5 && std::string_view(data, 5) == "HTTP/") sink->body.clear();
    return n;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

CheckResult failure(CheckError::Code code, std::string reason) {
    return {std::nullopt, CheckError::own(code, std::move(reason))};
}

// Runs the transfer; with `shared`, the owner may stop it, and then nothing is returned.
std::optional<UpdateCheck::Response> transfer(const UpdateCheck::Options& options, UpdateCheck::Shared* shared) {
    globalInit();
    UpdateCheck::Response response;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) {
        response.transportCode = CURLE_FAILED_INIT;
        response.transportReason = "no curl handle";
        return response;
    }
    Sink sink;
    char error[CURL_ERROR_SIZE] = {};
    const char* protocols = options.plainHttpForTests ? "http,https" : "https";
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, options.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    if (options.plainHttpForTests) curl_easy_setopt(e, CURLOPT_NOPROXY, "*");
    curl_multi_add_handle(multi.get(), e);

    if (shared) {
        std::lock_guard lock(shared->mutex);
        if (shared->stopping) return std::nullopt;
        shared->multi = multi.get();
    }
    auto stopped = [&] {
        if (!shared) return false;
        std::lock_guard lock(shared->mutex);
        return shared->stopping;
    };
    int active = 0;
    CURLMcode status = curl_multi_perform(multi.get(), &active);
    while (status == CURLM_OK && active > 0) {
        status = curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
        if (stopped()) break;
        if (status == CURLM_OK) status = curl_multi_perform(multi.get(), &active);
    }
    if (shared) {
        std::lock_guard lock(shared->mutex);
        shared->multi = nullptr;
        if (shared->stopping) {
            curl_multi_remove_handle(multi.get(), e);
            return std::nullopt;
        }
    }

    CURLcode code = CURLE_OK;
    if (status != CURLM_OK) {
        code = CURLE_FAILED_INIT;
        response.transportReason = curl_multi_strerror(status);
    } else {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) code = msg->data.result;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response.status);
    curl_multi_remove_handle(multi.get(), e);
    response.transportCode = static_cast<int>(code);
    if (code != CURLE_OK && response.transportReason.empty())
        response.transportReason = error[0] ? error : curl_easy_strerror(code);
    response.tooLarge = sink.tooLarge;
    response.body = std::move(sink.body);
    return response;
}

CheckResult checked(const UpdateCheck::Options& options, UpdateCheck::Shared* shared, bool& delivered) {
    delivered = true;
    try {
        const auto response = transfer(options, shared);
        if (!response) {
            delivered = false;
            return failure(CheckError::failed, "stopped");
        }
        return UpdateCheck::judge(*response, options.runningVersion);
    } catch (const std::exception& e) {
        return failure(CheckError::failed, e.what());
    } catch (...) {
        return failure(CheckError::failed, "unexpected failure");
    }
}

}  // namespace

CheckResult UpdateCheck::judge(const Response& r, std::string_view running) {
    if (r.tooLarge || r.body.size() > largestBody)
        return failure(CheckError::tooLarge, "the manifest is larger than " + std::to_string(largestBody) + " bytes");
    if (r.transportCode != 0)
        return {std::nullopt, CheckError{CheckError::Domain::transport, r.transportCode, r.transportReason}};
    if (r.status != 200)
        return {std::nullopt, CheckError{CheckError::Domain::http, static_cast<int>(r.status),
                                         "status " + std::to_string(r.status)}};
    try {
        const nlohmann::json doc = nlohmann::json::parse(r.body, nullptr, false);
        if (doc.is_discarded()) return failure(CheckError::notJson, "the manifest is not JSON");
        if (!doc.is_object()) return failure(CheckError::notObject, "the manifest is not a JSON object");
        const auto member = doc.find("version");
        if (member == doc.end()) return failure(CheckError::noVersion, "the manifest has no \"version\"");
        if (!member->is_string()) return failure(CheckError::versionNotString, "\"version\" is not a string");
        const std::string& version = member->get_ref<const std::string&>();
        if (!parts(version)) return failure(CheckError::invalidVersion, "\"" + version + "\" is not a version");
        if (!isNewer(version, running))
            return failure(CheckError::notNewer, version + " is not newer than " + std::string(running));
        return {version, std::nullopt};
    } catch (const std::exception& e) {
        return failure(CheckError::failed, e.what());
    }
}

CheckResult UpdateCheck::fetch(const Options& options) {
    bool delivered = false;
    return checked(options, nullptr, delivered);
}

UpdateCheck::UpdateCheck(Options options) : options_(std::move(options)), shared_(std::make_shared<Shared>()) {
    globalInit();
}

UpdateCheck::~UpdateCheck() {
    std::unique_lock lock(shared_->mutex);
    shared_->stopping = true;
    if (shared_->multi) curl_multi_wakeup(shared_->multi);
    shared_->finished.wait(lock, [&] { return !shared_->running.load(); });
}

bool UpdateCheck::start(Completion done) {
    if (shared_->running.exchange(true)) return false;
    background::run([options = options_, shared = shared_, done = std::move(done)] {
        bool delivered = false;
        CheckResult result = checked(options, shared.get(), delivered);
        if (delivered && done) done(std::move(result));
        {
            std::lock_guard lock(shared->mutex);
            shared->running = false;
        }
        shared->finished.notify_all();
    });
    return true;
}

namespace {

struct Delivery {
    std::weak_ptr<UpdateCheck::Shared> owner;
    UpdateCheck::Completion done;
    CheckResult result;
};

}  // namespace

bool UpdateCheck::start(GMainContext* context, Completion done) {
    std::weak_ptr<Shared> owner = shared_;
    // Held until the completion has been handed over, or dropped with it when nothing starts.
    std::shared_ptr<GMainContext> target(context ? g_main_context_ref(context) : nullptr,
                                         [](GMainContext* c) { if (c) g_main_context_unref(c); });
    return start([target, owner, done = std::move(done)](CheckResult result) mutable {
        auto* delivery = new Delivery{owner, std::move(done), std::move(result)};
        g_main_context_invoke_full(
            target.get(), G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* d = static_cast<Delivery*>(data);
                // The owner lives on this thread, so once it is found here it stays while `done` runs.
                const auto shared = d->owner.lock();
                bool live = false;
                if (shared) {
                    std::lock_guard lock(shared->mutex);
                    live = !shared->stopping;
                }
                if (live && d->done) d->done(std::move(d->result));
                return G_SOURCE_REMOVE;
            },
            delivery, [](gpointer data) { delete static_cast<Delivery*>(data); });
    });
}

}  // namespace Update
