#pragma once
// Puts the changed parts of a frame straight onto an X window through shared memory: the server
// copies each rectangle once, with no GTK repaint, no pixmap in between and no pixels on the
// socket. Only for a local server with MIT-SHM and a window of 32-bit xRGB pixels; make() gives
// nothing otherwise, and the caller keeps drawing through GTK.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct _GdkWindow;

class ShmPresenter {
public:
    struct Box {
        int x, y, width, height;  // window pixels, y down
    };

    // For `window` (a native X window) showing a frame of width × height pixels at (left, top).
    static std::unique_ptr<ShmPresenter> make(_GdkWindow* window, int left, int top, int width, int height);
    ~ShmPresenter();
    ShmPresenter(const ShmPresenter&) = delete;
    ShmPresenter& operator=(const ShmPresenter&) = delete;

    // Copies the boxes of the frame (native-endian ARGB32 rows, top first, opaque; clipped to it
    // in place) into shared memory and sends them. Waits first until the server has read the
    // previous frame, so a frame is never torn.
    void present(const uint8_t* pixels, size_t bytesPerRow, std::span<Box> boxes);

    // Clips the boxes to a width × height frame, moving the non-empty ones to the front; their count.
    static size_t clip(std::span<Box> boxes, int width, int height);

private:
    ShmPresenter() = default;
    struct State;
    std::unique_ptr<State> s_;
};
