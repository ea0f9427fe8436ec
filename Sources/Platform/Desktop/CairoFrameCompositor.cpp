#include "Platform/Desktop/CairoFrameCompositor.h"

#include "Platform/Animation/Layer.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

CairoFrameCompositor::CairoFrameCompositor(int width, int height, int scale)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), scale_(std::max(scale, 1)) {
    backing_ = cg::Context::makeBitmap(width_ * scale_, height_ * scale_, scale_);
    if (!backing_) throw std::runtime_error("no bitmap for a desktop frame");
    // Black where the tree leaves holes: the window is opaque.
    compositor_.setBackground(cg::Color::black());
    // Slow movers (a palm leaning, a cloud thinning) then redraw only every few frames.
    before_.setMotionTolerance(kMotionTolerance);
    now_.setMotionTolerance(kMotionTolerance);
    surface_ = cairo_image_surface_create_for_data(backing_->data(), CAIRO_FORMAT_ARGB32, backing_->pixelWidth(),
                                                   backing_->pixelHeight(), int(backing_->bytesPerRow()));
    cairo_surface_set_device_scale(surface_, scale_, scale_);
    area_ = gtk_drawing_area_new();
    g_object_ref_sink(area_);
    gtk_widget_set_size_request(area_, width_, height_);
    gtk_widget_set_app_paintable(area_, TRUE);
    g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t* cr, gpointer self) -> gboolean {
                         return onDraw(w, cr, self);
                     }),
                     this);
}

CairoFrameCompositor::~CairoFrameCompositor() {
    g_signal_handlers_disconnect_by_data(area_, this);
    g_object_unref(area_);
    cairo_surface_destroy(surface_);
}

int CairoFrameCompositor::onDraw(GtkWidget*, cairo_t* cr, void* data) {
    auto* self = static_cast<CairoFrameCompositor*>(data);
    const double alpha = std::clamp(self->alpha_, 0.0, 1.0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (alpha < 1) {
        // Without a compositing manager the window fades from black.
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    cairo_set_source_surface(cr, self->surface_, 0, 0);
    if (alpha < 1) {
        cairo_paint_with_alpha(cr, alpha);
    } else {
        cairo_paint(cr);
    }
    return TRUE;
}

void CairoFrameCompositor::queue(const cg::Rect& r) {
    // Device pixels, y up → widget points, y down, grown to whole points.
    const double s = scale_;
    const int x0 = int(std::floor(r.minX() / s)), x1 = int(std::ceil(r.maxX() / s));
    const int y0 = int(std::floor((backing_->pixelHeight() - r.maxY()) / s));
    const int y1 = int(std::ceil((backing_->pixelHeight() - r.minY()) / s));
    gtk_widget_queue_draw_area(area_, x0, y0, x1 - x0, y1 - y0);
}

bool CairoFrameCompositor::update(const ca::Layer& root, double t, double alpha) {
    const auto start = std::chrono::steady_clock::now();
    struct Timer {
        std::chrono::steady_clock::time_point start;
        double& total;
        ~Timer() { total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
    } timer{start, stats_.seconds};
    stats_.updates += 1;
    const cg::Rect viewport(0, 0, backing_->pixelWidth(), backing_->pixelHeight());
    now_.capture(root, t, backing_->ctm());
    stats_.replays += now_.replayed();
    if (full_) {
        rects_.assign(1, viewport);
    } else {
        damage_.compute(before_, now_, rects_, viewport);
    }
    full_ = false;
    std::swap(before_, now_);
    stats_.treeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool fading = alpha != alpha_;
    alpha_ = alpha;
    if (rects_.empty() && !fading) return false;
    if (!rects_.empty()) {
        compositor_.render(before_, *backing_, rects_);
        cairo_surface_mark_dirty(surface_);
        for (const cg::Rect& r : rects_) stats_.pixels += uint64_t(r.width() * r.height());
    }
    stats_.frames += 1;
    if (fading) {
        gtk_widget_queue_draw(area_);
    } else if (!rects_.empty() && !presentDirectly()) {
        for (const cg::Rect& r : rects_) queue(r);
    }
    return true;
}

bool CairoFrameCompositor::presentDirectly() {
    if (alpha_ < 1 || !gtk_widget_get_mapped(area_)) return false;
    GdkWindow* window = gtk_widget_get_window(gtk_widget_get_toplevel(area_));
    if (window != shmWindow_) {
        shmWindow_ = window;
        GtkAllocation a{};
        gtk_widget_get_allocation(area_, &a);
        shm_ = ShmPresenter::make(window, a.x * scale_, a.y * scale_, backing_->pixelWidth(), backing_->pixelHeight());
    }
    if (!shm_) return false;
    // Device pixels, y up → window pixels, y down (the rectangles are whole pixels).
    const double h = backing_->pixelHeight();
    boxes_.clear();
    for (const cg::Rect& r : rects_) {
        const double x0 = std::floor(r.minX()), y0 = std::floor(h - r.maxY());
        boxes_.push_back({int(x0), int(y0), int(std::ceil(r.maxX()) - x0), int(std::ceil(h - r.minY()) - y0)});
    }
    shm_->present(backing_->data(), backing_->bytesPerRow(), boxes_);
    stats_.direct += 1;
    return true;
}

cg::ImageRef CairoFrameCompositor::frame() const { return backing_->makeImage(); }
