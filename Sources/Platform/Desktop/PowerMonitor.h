#pragma once
// The system's power-saver mode (GPowerProfileMonitor's power-saver-enabled; off where no power
// profile daemon answers), with a call on every change.

#include <functional>

class PowerMonitor {
public:
    PowerMonitor();
    ~PowerMonitor();
    PowerMonitor(const PowerMonitor&) = delete;
    PowerMonitor& operator=(const PowerMonitor&) = delete;

    bool lowPower() const;
    void setChangeHandler(std::function<void(bool)> handler) { changed_ = std::move(handler); }

private:
    static void onNotify(void* monitor, void* spec, void* self);

    void* monitor_ = nullptr;  // GPowerProfileMonitor
    unsigned long handler_ = 0;
    std::function<void(bool)> changed_;
};
