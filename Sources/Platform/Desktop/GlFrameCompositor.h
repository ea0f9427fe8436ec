#pragma once
// The OpenGL back end: the layer tree drawn by the GPU into the desktop window's own X window through
// EGL. Each picture is uploaded once as a texture (kept while the tree shows it), small ones sharing
// atlas pages so that a frame takes a few draw calls; per frame only the presentation values (where
// each picture goes, its opacity, cross-fade progress) go to the GPU as vertex data, written into a
// buffer that stays mapped where the driver offers it. Layers that draw more than a picture (shapes, gradients, fills with rounded corners,
// shadows) are drawn by cg into a small bitmap that is uploaded again only when their drawing changes,
// and a still picture drawn much smaller is resampled by cg once per quarter-pixel phase, as the Cairo
// back end does, for the same area average. A content shadow of a group of several layers (which no
// scene has) is left out, with a line on stderr.
// The compositing follows ca::Compositor: premultiplied alpha, painting order, opacity of a subtree as
// a group (an offscreen framebuffer), colour dodge and plus-lighter, cross-fades, quarter-pixel
// placement of still pictures, nearest and linear filters, the window fade over black.
// If the context is lost, or the window cannot take a GL surface, the compositor carries on with the
// Cairo back end in the same container widget.

#include "Platform/Desktop/FrameCompositor.h"

#include <memory>
#include <string>

struct _GtkWidget;

// Where the GL frames go: the platform a native window belongs to, and the window itself. X11 now; a
// Wayland EGL window would be another implementation.
class GlWindowTarget {
public:
    virtual ~GlWindowTarget() = default;
    virtual unsigned platform() const = 0;     // an EGL_PLATFORM_*_KHR value
    virtual void* nativeDisplay() const = 0;   // for eglGetPlatformDisplay
    // The native visual the window will have (X11: its visual id), 0 when any will do.
    virtual int nativeVisual() const = 0;
    // The native window of the realized widget, as eglCreatePlatformWindowSurface takes it (X11: a
    // pointer to the Window), or null.
    virtual void* nativeWindow(_GtkWidget* realized) = 0;
};

// The default display's X11 windows.
std::unique_ptr<GlWindowTarget> makeX11GlTarget();

class GlFrameCompositor : public FrameCompositor {
public:
    struct Options {
        bool breakShader = false;  // compile a shader that cannot compile (tests of the fallback)
        // Pictures drawn much smaller by a program of their own, or every picture by one program:
        // chosen by the renderer (split on a software one), or forced (tests).
        enum class Programs { byRenderer, split, single } programs = Programs::byRenderer;
        // Vertices written into a buffer that stays mapped where the driver can, or handed to it per draw.
        bool mapVertices = true;
        // Small pictures on shared atlas pages, or each in a texture of its own: chosen by the renderer
        // (own textures on a software one), or forced (tests).
        enum class Atlas { byRenderer, on, off } atlas = Atlas::byRenderer;
    };
    // A compositor for a frame of width × height points at an integer scale, or null with the reason in
    // `why` when GL cannot be had (no display, no context, a shader that fails). `renderer` gets
    // GL_RENDERER.
    static std::unique_ptr<GlFrameCompositor> create(int width, int height, int scale,
                                                     std::unique_ptr<GlWindowTarget> target, const Options& options,
                                                     std::string& why, std::string& renderer);
    ~GlFrameCompositor() override;
    GlFrameCompositor(const GlFrameCompositor&) = delete;
    GlFrameCompositor& operator=(const GlFrameCompositor&) = delete;

    _GtkWidget* widget() override;
    bool update(const ca::Layer& root, double mediaTime, double alpha) override;
    void invalidate() override;
    cg::ImageRef frame() const override;
    const ca::Snapshot* lastSnapshot() const override;
    const Stats& stats() const override;

    // What the last composited frame asked of GL and cg (for tests and benchmarks).
    struct FrameWork {
        uint64_t draws = 0;         // draw calls
        uint64_t binds = 0;         // textures bound
        uint64_t quads = 0;         // pictures and bitmaps placed
        uint64_t rasters = 0;       // layers drawn again by cg and uploaded
        uint64_t uploads = 0;       // textures uploaded (pictures, resampled pictures, layers' bitmaps)
    };
    const FrameWork& frameWork() const;

    // Whether it went over to Cairo (after a lost context or a window without a GL surface).
    bool fellBack() const;
    // Behaves as if the driver reported the context lost (tests of the fallback).
    void loseContextForTesting();

    struct Impl;

private:
    explicit GlFrameCompositor(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The back end for a desktop window, chosen once per window: VM_COMPOSITOR=gl or cairo forces one;
// otherwise GL when a hardware renderer answers, Cairo when GL cannot be had, fails, or is a software
// rasteriser. Writes one line to stderr saying which and why (once per process). VM_GL_FAIL=display,
// context or shader makes that step fail, for tests.
std::unique_ptr<FrameCompositor> makeFrameCompositor(int width, int height, int scale);
