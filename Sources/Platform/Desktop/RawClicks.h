#pragma once
// Left clicks and releases anywhere on the screen, seen as XInput 2 raw button events on the root
// window; these reach us even while another client grabs the pointer. Raw events carry no position,
// so the pointer is asked where it is. A press and release more than a few pixels apart (a drag) or
// with Shift, Control, Alt or Super held is no click; every release is reported either way.
// A connection of its own, watched by the thread's default GLib main context.

#include <functional>
#include <memory>
#include <string>

class RawClicks {
public:
    struct Handlers {
        // Root coordinates in device pixels, where the button went down.
        std::function<void(int x, int y)> click;
        // Where the button came up.
        std::function<void(int x, int y)> release;
    };
    // A press and its release this far apart (device pixels, either axis) make a drag.
    static constexpr int dragDistance = 4;

    // Nothing when the display cannot be opened or has no XInput 2.1.
    static std::unique_ptr<RawClicks> open(Handlers handlers, const std::string& display = {});
    ~RawClicks();
    RawClicks(const RawClicks&) = delete;
    RawClicks& operator=(const RawClicks&) = delete;

    // Handles what has arrived (the GLib watch calls it).
    void drain();

private:
    RawClicks(void* display, int opcode, Handlers handlers);
    void pressed();
    void released();

    void* display_;
    int opcode_;
    Handlers handlers_;
    unsigned watch_ = 0;
    bool down_ = false, modified_ = false;
    int downX_ = 0, downY_ = 0;
};
