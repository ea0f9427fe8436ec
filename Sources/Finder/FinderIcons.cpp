#include "Finder/FinderIcons.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <glib.h>
#include <optional>
#include <vector>

#include "Platform/Background/Background.h"

namespace {

FinderError unavailable(const IconLayoutSource& source, std::string reason) {
    return FinderError{source.name(), FinderError::unavailable, source.name() + ": " + std::move(reason)};
}

// A size counts only when it is a finite number within the range a layout accepts (NaN fails both
// comparisons); the sources say which value of which file they refused.
double size(double stored, double low, double high, double fallback) {
    return stored >= low && stored <= high ? stored : fallback;
}

FinderResult ask(IconLayoutSource& source) {
    try {
        const FinderResult stored = source.layout();
        if (!stored.ok()) return stored;
        return FinderIcons::layout(stored, source.drawsDesktop());
    } catch (const std::exception& e) {
        // A source must not take the caller down with it, whatever it trips over.
        return unavailable(source, e.what());
    } catch (...) {
        return unavailable(source, "failed");
    }
}

// One caller's wait for an asynchronous read: answered once, by the result or by the time limit.
struct Delivery {
    std::function<void(const FinderResult&)> done;
    FinderError timeOut;
    GMainContext* context = nullptr;
    GSource* timer = nullptr;
    std::atomic<bool> answered{false};
    ~Delivery() {
        if (timer) g_source_unref(timer);
        if (context) g_main_context_unref(context);
    }
    // Runs on `context` only.
    void answer(const FinderResult& r) {
        if (answered.exchange(true)) return;
        if (timer) g_source_destroy(timer);
        done(r);
    }
};

struct Arrival {
    std::shared_ptr<Delivery> delivery;
    FinderResult result;
};

}  // namespace

struct FinderIcons::Flight {
    std::mutex m;
    std::condition_variable cv;
    std::optional<FinderResult> result;
    std::vector<std::function<void(const FinderResult&)>> waiters;
};

FinderIcons::FinderIcons(std::shared_ptr<IconLayoutSource> source, std::chrono::milliseconds limit)
    : source_(std::move(source)), limit_(limit) {}

std::shared_ptr<FinderIcons::Flight> FinderIcons::start() {
    std::lock_guard lock(mutex_);
    if (flight_) {
        std::lock_guard flightLock(flight_->m);
        if (!flight_->result) return flight_;
    }
    auto flight = std::make_shared<Flight>();
    flight_ = flight;
    // The job owns the source and the flight, so it may outlive this reader when the source hangs; it
    // runs among the unbounded background jobs, so a hanging source holds one thread and blocks no other.
    background::run([source = source_, flight] {
        FinderResult r = ask(*source);
        std::vector<std::function<void(const FinderResult&)>> waiters;
        {
            std::lock_guard flightLock(flight->m);
            flight->result = r;
            waiters.swap(flight->waiters);
        }
        flight->cv.notify_all();
        for (auto& w : waiters) w(r);
    });
    return flight;
}

FinderResult FinderIcons::read() {
    const auto flight = start();
    std::unique_lock lock(flight->m);
    if (!flight->cv.wait_for(lock, limit_, [&] { return flight->result.has_value(); }))
        return unavailable(*source_, "no answer within the time limit");
    return *flight->result;
}

void FinderIcons::read(std::function<void(const FinderResult&)> done) {
    auto delivery = std::make_shared<Delivery>();
    delivery->done = std::move(done);
    delivery->timeOut = unavailable(*source_, "no answer within the time limit");
    delivery->context = g_main_context_ref_thread_default();

    delivery->timer = g_timeout_source_new(static_cast<guint>(limit_.count()));
    auto* timerHold = new std::shared_ptr<Delivery>(delivery);
    g_source_set_callback(
        delivery->timer,
        [](gpointer data) -> gboolean {
            auto& d = *static_cast<std::shared_ptr<Delivery>*>(data);
            d->answer(d->timeOut);
            return G_SOURCE_REMOVE;
        },
        timerHold, [](gpointer data) { delete static_cast<std::shared_ptr<Delivery>*>(data); });
    g_source_attach(delivery->timer, delivery->context);

    // An idle source, not g_main_context_invoke: invoke runs the callback on the worker itself whenever
    // the context happens to be unowned at that moment.
    auto post = [delivery](const FinderResult& r) {
        auto* arrival = new Arrival{delivery, r};
        GSource* idle = g_idle_source_new();
        g_source_set_callback(
            idle,
            [](gpointer data) -> gboolean {
                auto* a = static_cast<Arrival*>(data);
                a->delivery->answer(a->result);
                return G_SOURCE_REMOVE;
            },
            arrival, [](gpointer data) { delete static_cast<Arrival*>(data); });
        g_source_attach(idle, delivery->context);
        g_source_unref(idle);
    };

    const auto flight = start();
    std::optional<FinderResult> ready;
    {
        std::lock_guard lock(flight->m);
        if (flight->result) ready = flight->result;
        else flight->waiters.push_back(post);
    }
    if (ready) post(*ready);
}

bool FinderIcons::drawsDesktop(const PrefValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        std::string lower = *text;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        return !(lower == "false" || lower == "no" || lower == "0");
    }
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    if (const auto* number = std::get_if<double>(&value)) {
        if (*number == 0) return false;
        if (*number == 1) return true;
    }
    return true;
}

FinderResult FinderIcons::layout(const FinderResult& stored, const PrefValue& drawsDesktopValue) {
    if (!stored.ok()) return stored;
    const DeskLayout& in = stored.layout();
    DeskLayout out;
    if (drawsDesktop(drawsDesktopValue)) {
        for (const cg::Point& p : in.centers)
            if (std::isfinite(p.x) && std::isfinite(p.y)) out.centers.push_back(p);
        std::stable_sort(out.centers.begin(), out.centers.end(), [](const cg::Point& a, const cg::Point& b) {
            return a.x < b.x || (a.x == b.x && a.y < b.y);
        });
    }
    out.iconSize = size(in.iconSize, DeskLayout::minIconSize, DeskLayout::maxIconSize, out.iconSize);
    out.textSize = size(in.textSize, DeskLayout::minTextSize, DeskLayout::maxTextSize, out.textSize);
    out.labelsRight = in.labelsRight;
    return out;
}
