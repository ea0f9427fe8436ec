#pragma once
// The Cairo back end: the tree is composited by ca into a bitmap in memory, damage-limited. The
// damaged parts go straight to the window through shared memory where the server allows it, and
// through the GtkDrawingArea's repaint otherwise (and for exposes and the fade from black).

#include "Platform/Desktop/FrameCompositor.h"
#include "Platform/Desktop/ShmPresenter.h"

#include "Platform/Animation/Compositor.h"
#include "Platform/Animation/Damage.h"
#include "Platform/Animation/Snapshot.h"
#include "Platform/Graphics/Context.h"

#include <memory>
#include <vector>

struct _cairo;
struct _cairo_surface;

class CairoFrameCompositor : public FrameCompositor {
public:
    // A frame of width × height points at an integer scale (GDK's scale factor).
    CairoFrameCompositor(int width, int height, int scale);
    // Device pixels a layer may stand off its exact place before it is drawn again (see
    // ca::Snapshot::setMotionTolerance).
    static constexpr double kMotionTolerance = 0.25;
    ~CairoFrameCompositor() override;
    CairoFrameCompositor(const CairoFrameCompositor&) = delete;
    CairoFrameCompositor& operator=(const CairoFrameCompositor&) = delete;

    _GtkWidget* widget() override { return area_; }
    bool update(const ca::Layer& root, double mediaTime, double alpha) override;
    void invalidate() override { full_ = true; }
    cg::ImageRef frame() const override;
    const ca::Snapshot* lastSnapshot() const override { return &before_; }  // update swaps the new one in there
    const Stats& stats() const override { return stats_; }

private:
    static int onDraw(_GtkWidget* widget, _cairo* cr, void* self);
    void queue(const cg::Rect& deviceRect);
    bool presentDirectly();  // false: GTK has to repaint

    int width_, height_, scale_;
    std::unique_ptr<cg::Context> backing_;
    _cairo_surface* surface_ = nullptr;  // the backing bitmap's pixels, for the draw handler
    _GtkWidget* area_ = nullptr;
    ca::Compositor compositor_;
    ca::Snapshot before_, now_;
    ca::Damage damage_;
    std::vector<cg::Rect> rects_;
    bool full_ = true;
    double alpha_ = -1;  // opacity of the picture on screen
    Stats stats_;
    std::unique_ptr<ShmPresenter> shm_;
    void* shmWindow_ = nullptr;  // the GdkWindow shm_ was made for (tried once per window)
    std::vector<ShmPresenter::Box> boxes_;
};
