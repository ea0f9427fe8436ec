#pragma once
// A drawing context over a bitmap, with the reference platform's semantics:
// - User space is y-up (origin at the bottom left) and starts scaled by the bitmap's scale; memory
//   row 0 is the top of the picture. Pixels are premultiplied ARGB32, native-endian uint32 (the
//   order the renderer's shading writes), 4 × width bytes per row.
// - Graphics state (transform, clip, colours, line settings, dash, alpha, blend mode, shadow) stays
//   set until changed or restored. Defaults: black fill and stroke, line width 1, butt cap, miter
//   join, miter limit 10, no dash, alpha 1, normal blend, no shadow.
// - The current path is built in user space, fixed by the transform in force when each piece is
//   added (like the reference), and consumed by fillPath, strokePath and clip. It is not part of
//   the saved state.
// - Every blend mode acts only where the drawn shape is: pixels outside the shape never change.
// - Shadows are offset and blurred in device pixels, not scaled by the transform; a positive
//   height moves the shadow up. Blur b is a Gaussian of sigma b / 2.
// A context belongs to one thread at a time; separate contexts may be used on separate threads.

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Gradient.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Path.h"
#include "Platform/Graphics/Text.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace cg {

enum class BlendMode {
    normal,
    sourceAtop,
    sourceIn,
    destinationOver,
    destinationOut,
    plusLighter,
    colorDodge,
    clear
};
enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };
enum class FillRule { winding, evenOdd };
// How drawUnclipped samples an image: nearest pixel, bilinear, or good (bilinear when drawn at
// about its size, an area average when drawn smaller; nearest when pixel-aligned at scale 1).
enum class ImageFilter { nearest, linear, good };

class Context {
public:
    // A bitmap of pixelWidth × pixelHeight, transparent, user space scaled by `scale`.
    // No context for non-positive, non-finite or huge sizes or scale.
    static std::unique_ptr<Context> makeBitmap(int pixelWidth, int pixelHeight, double scale = 1);
    // The same with pixels left unset, for a caller that writes every pixel through data() before
    // anything reads or draws: the memory is first touched by whoever writes it.
    static std::unique_ptr<Context> makeUnsetBitmap(int pixelWidth, int pixelHeight, double scale = 1);
    // A context over `picture`'s own pixels that may change only its memory rows [top, bottom), so that
    // several bands of one picture can be drawn at once, one per thread: every draw gives those rows
    // the bytes it gives on `picture`, and no other row changes. It starts with `picture`'s transform
    // and no clip, in the default state. Draws whose bytes do not depend on how far the clip reaches
    // (solid fills and strokes, and pictures drawn pixel for pixel at whole-pixel places, with shadows
    // at whole-pixel offsets) are clipped to the rows; the others (gradients, other pictures, layers,
    // text) are drawn whole on a private bitmap of the picture's size and their rows in the band copied
    // back, or skipped when they miss the band. `picture` must outlive the band and not be drawn into
    // while the band is; call its pixelsChanged() after.
    static std::unique_ptr<Context> makeBand(Context& picture, int top, int bottom);
    // A bitmap whose pixels are `picture`'s memory rows [top, bottom), drawn like a bitmap of just those
    // rows (as if they were copied into makeBitmap(width, bottom − top, scale) and copied back), without
    // the copies. Default state, user space scaled by `scale`. `picture` must outlive it and not be
    // drawn into meanwhile; call its pixelsChanged() after.
    static std::unique_ptr<Context> makeRows(Context& picture, int top, int bottom, double scale = 1);
    // A frame of width × height points: ⌈width·scale⌉ × ⌈height·scale⌉ pixels, transparent.
    static std::unique_ptr<Context> makeFrame(double width, double height, double scale);

    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // --- Bitmap ---
    int pixelWidth() const;
    int pixelHeight() const;
    // The rows of the bitmap's y-up pixel space that drawing here can change, [first, end): all of them,
    // or a band's (makeBand), so that what is worked out pixel by pixel can leave the others out.
    std::pair<int, int> changeableRows() const;
    size_t bytesPerRow() const;
    double scale() const;
    // Direct pixel access (premultiplied ARGB32, row 0 at the top). Call pixelsChanged() after
    // writing through data() so later drawing sees the new pixels.
    uint8_t* data();
    const uint8_t* data() const;
    uint32_t* row(int y);
    void pixelsChanged();
    // Premultiplied ARGB32 at memory column x, row y (row 0 at the top); 0 out of range.
    uint32_t pixel(int x, int y) const;
    // A snapshot copy of the bitmap.
    ImageRef makeImage() const;
    // The pixels are still being written elsewhere (the ground, while the painter places its things):
    // `settle` runs on each thread that reads the bitmap or draws into it or into a band of it before the
    // pixels are finished, several at once if they come together: it must return only when they are
    // finished and visible to that thread. They count as changed after it. Set it before the context is
    // shared with other threads.
    void awaitPixels(std::function<void()> settle);
    // The bitmap itself becomes the image, without a copy. The context is finished: the only thing
    // left to do with it is destroy it.
    ImageRef takeImage();

    // --- Graphics state ---
    void saveGState();
    void restoreGState();  // unbalanced restores are ignored

    void translateBy(double tx, double ty);
    void scaleBy(double sx, double sy);
    void rotateBy(double angle);  // counter-clockwise in y-up space
    void concatenateCTM(const Transform& t);
    // User space to the bitmap's y-up pixel space (starts as a scale by `scale`).
    Transform ctm() const;

    void setFillColor(const Color& c);
    void setStrokeColor(const Color& c);
    Color fillColor() const;
    Color strokeColor() const;
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setMiterLimit(double limit);
    // Dash lengths in user space, starting `phase` into the pattern; an empty list turns dashing off.
    void setLineDash(double phase, std::span<const double> lengths);
    void setAlpha(double alpha);  // clamped to [0, 1]
    void setBlendMode(BlendMode mode);
    // Shadow of every later drawing operation: offset and blur in device pixels (y-up).
    void setShadow(Size offset, double blur, const Color& color);
    // The same with the reference's default colour, black at alpha 1/3.
    void setShadow(Size offset, double blur);
    void clearShadow();  // same as a shadow with a clear colour

    double lineWidth() const;
    LineCap lineCap() const;
    LineJoin lineJoin() const;
    double miterLimit() const;
    double alpha() const;
    BlendMode blendMode() const;

    // --- Current path (user space) ---
    void beginPath();
    void moveTo(Point p);
    void lineTo(Point p);
    void quadCurveTo(Point control, Point to);
    void curveTo(Point control1, Point control2, Point to);
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
    void addRect(const Rect& r);
    void addEllipse(const Rect& inRect);
    void addRoundedRect(const Rect& r, double cornerWidth, double cornerHeight);
    void addLines(std::span<const Point> points);
    void addPath(const Path& path);
    void closePath();
    bool isPathEmpty() const;
    // Current point and bounding box of the current path in user space.
    std::optional<Point> currentPoint() const;
    Rect pathBoundingBox() const;

    // --- Painting; each consumes the current path ---
    void fillPath(FillRule rule = FillRule::winding);
    void strokePath();
    // Intersects the clip with the current path.
    void clip(FillRule rule = FillRule::winding);

    // --- Conveniences; they leave the current path alone ---
    void fill(const Rect& r);
    void fill(const Path& path, FillRule rule = FillRule::winding);
    void stroke(const Rect& r);
    void stroke(const Path& path);
    void fillEllipse(const Rect& inRect);
    void strokeEllipse(const Rect& inRect);
    // Pairs of points: segment 0–1, 2–3, … (an odd last point is ignored).
    void strokeLineSegments(std::span<const Point> points);
    // The same pairs, as thin marks: round caps (and so round joins where segments meet) in the stroke
    // colour and line width, whatever the cap and join. Their coverage is worked out here from each
    // pixel's distance to the nearest segment, which costs a small share of Cairo's stroking of short
    // segments; it differs from Cairo's by a few levels along the edges. Where the transform does not
    // keep circles round, they are stroked through Cairo instead.
    void strokeMarks(std::span<const Point> points);
    void clear(const Rect& r);  // erases to transparent, whatever the blend mode
    void clipToRect(const Rect& r);
    void clip(const Path& path, FillRule rule = FillRule::winding);
    // Bounding box of the clip in user space (the whole bitmap without a clip).
    Rect clipBoundingBox() const;
    // Intersects the clip with the union of the rects, given in the bitmap's y-up pixel space (the
    // space ctm() maps to) whatever the transform; whole-pixel rects give an exact box clip.
    void clipToPixelRects(std::span<const Rect> rects);

    // --- Shadows alone ---
    // Draws only the shadow that filling the path would cast (current shadow, fill colour's alpha,
    // alpha and blend mode); the fill itself is not drawn.
    void fillShadowOnly(const Path& path, FillRule rule = FillRule::winding);

    // --- Gradients; they fill the current clip ---
    void drawLinearGradient(const Gradient& g, Point start, Point end, GradientOptions options = {});
    void drawRadialGradient(const Gradient& g, Point startCenter, double startRadius, Point endCenter,
                            double endRadius, GradientOptions options = {});

    // --- Transparency layers ---
    // Inside a layer drawing starts at alpha 1, normal blend and no shadow; at the end the layer is
    // composited once with the alpha, blend mode, shadow and clip in force at its beginning.
    // A layer holds only the pixels that are drawn inside the clip.
    void beginTransparencyLayer();
    void endTransparencyLayer();

    // --- Text ---
    // One line of `text` (UTF-8) set in `box`: its first line hangs from the box's top edge, centred or
    // left-aligned, cut in the middle with an ellipsis when wider than the box. Fill colour, alpha, blend
    // mode, shadow and clip apply as to any drawing.
    void drawText(const std::string& text, const Rect& box, const TextStyle& style);

    // --- Images ---
    // Draws the image stretched into the rect (the image's top row at the rect's top, y-up).
    void draw(const ImageRef& image, const Rect& inRect);
    void draw(const Image& image, const Rect& inRect);
    // The same placement, but the image is not clipped to the rect: beyond its edges it samples as
    // transparent, so the edge pixels blend over the filter's reach (half a pixel for bilinear)
    // instead of being cut. No clip path is built, which makes many small images at fractional
    // positions much cheaper. Shadows, alpha and blend modes apply as in draw(). An image drawn
    // larger than its pixels (where an edge texel would spread over many pixels), and the blend
    // modes source-in and clear, fall back to draw(); a larger image whose outermost pixels are
    // all clear does not (it has no edge to spread).
    void drawUnclipped(const Image& image, const Rect& inRect, ImageFilter filter = ImageFilter::good);
    // Draws the image pixel for pixel with its bottom-left corner at whole pixel (x, y) of the
    // bitmap's y-up pixel space, whatever the transform; alpha, blend mode, shadow and clip apply.
    void drawPixelAligned(const Image& image, int x, int y);

    // Counters for tests and benchmarks: what transparency layers and shadows allocated.
    struct Stats {
        uint64_t layers = 0;
        uint64_t largestLayerPixels = 0;  // largest layer surface, in pixels
        uint64_t shadows = 0;
        uint64_t largestShadowPixels = 0;  // largest shadow mask, in pixels
        uint64_t dropped = 0;              // draws lost to a surface that could not be made or a Cairo error
    };
    Stats stats() const;
    // Draws dropped by every context of the process so far; the self-test checks it stays 0.
    static std::atomic<uint64_t>& droppedDraws();

    struct Impl;

private:
    explicit Context(std::unique_ptr<Impl> impl);
    static std::unique_ptr<Context> makeBitmap(int pixelWidth, int pixelHeight, double scale, bool cleared);
    std::unique_ptr<Impl> impl_;
};

}  // namespace cg
