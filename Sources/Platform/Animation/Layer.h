#pragma once
// A retained layer: geometry, appearance, layer timing, sublayers and animations. The model holds no
// clock: time comes in as media time (seconds on the host's monotonic clock) wherever it matters.
// Subclasses may carry extra model fields (a walker's way points, say); presentation values are a
// plain record (Presentation), so such fields are only ever read from the model layer.
//
// Geometry (y up): a point q of the layer's bounds maps into the superlayer as
//   position + T·(q − A),  A = (bounds.x + anchor.x·width, bounds.y + anchor.y·height),
// where T is the layer's affine transform. The transform is kept as components
//   T = R(rotation) · [[scaleX, shear], [0, scaleY]]  (+ a translation),
// so the key paths transform.rotation.z, transform.scale(.x/.y) replace or add to one component
// and keep the others (a model rotation composes with an animated scale).

#include "Platform/Animation/Animation.h"
#include "Platform/Animation/Presentation.h"
#include "Platform/Animation/Program.h"

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Path.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ca {

// How a whole subtree is composited onto what lies beneath it.
enum class CompositingFilter : uint8_t { none, colorDodge, plusLighter };
// How contents are sampled when drawn smaller (minification) or larger than their pixels.
enum class ContentsFilter : uint8_t { nearest, linear, trilinear };

// The components of an affine transform (see above).
struct TransformParts {
    double rotation = 0, scaleX = 1, scaleY = 1, shear = 0, tx = 0, ty = 0;
    static TransformParts of(const cg::Transform& t);
    cg::Transform compose() const;
};

class alignas(64) Layer {
public:
    enum class Kind : uint8_t { plain, shape, gradient };

    Layer() : Layer(Kind::plain) {}
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    Kind kind() const { return kind_; }
    // Unique for the life of the process; never reused.
    uint64_t id() const { return id_; }
    // Changes whenever a model property of this layer changes (not its sublayers or animations).
    uint64_t version() const { return version_; }
    // Changes whenever anything changes in any layer of the process: a model property, the
    // sublayers, the animations, or a layer is made. Equal counts mean every tree is as it was.
    static uint64_t mutations();

    // --- Geometry ---
    const cg::Rect& bounds() const { return bounds_; }
    void setBounds(const cg::Rect& r) { bounds_ = r.standardized(); touch(); }
    cg::Point position() const { return position_; }
    void setPosition(cg::Point p) { position_ = p; touch(); }
    cg::Point anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(cg::Point p) { anchorPoint_ = p; touch(); }
    // The bounding box of the bounds in the superlayer (model values). Setting it sets the bounds'
    // size and the position (for an identity transform).
    cg::Rect frame() const;
    void setFrame(const cg::Rect& r);
    const cg::Transform& affineTransform() const { return transform_; }
    const TransformParts& transformParts() const { return parts_; }
    void setAffineTransform(const cg::Transform& t);

    // --- Appearance ---
    double opacity() const { return opacity_; }
    void setOpacity(double v) { opacity_ = v; touch(); }
    bool isHidden() const { return hidden_; }
    void setHidden(bool v) { hidden_ = v; touch(); }
    const cg::ImageRef& contents() const { return contents_; }
    void setContents(cg::ImageRef image) { contents_ = std::move(image); touch(); }
    ContentsFilter minificationFilter() const { return minFilter_; }
    void setMinificationFilter(ContentsFilter f) { minFilter_ = f; touch(); }
    ContentsFilter magnificationFilter() const { return magFilter_; }
    void setMagnificationFilter(ContentsFilter f) { magFilter_ = f; touch(); }
    const std::optional<cg::Color>& backgroundColor() const { return background_; }
    void setBackgroundColor(std::optional<cg::Color> c) { background_ = c; touch(); }
    // Rounds the background (and a gradient layer's fill); sublayers and contents are not masked.
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; touch(); }
    CompositingFilter compositingFilter() const { return filter_; }
    void setCompositingFilter(CompositingFilter f) { filter_ = f; touch(); }

    // --- Shadow (drawn when the opacity is above 0) ---
    const cg::Color& shadowColor() const { return shadowColor_; }
    void setShadowColor(const cg::Color& c) { shadowColor_ = c; touch(); }
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double v) { shadowOpacity_ = v; touch(); }
    // Blur radius in points (a Gaussian of that standard deviation).
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double r) { shadowRadius_ = r; touch(); }
    cg::Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(cg::Size s) { shadowOffset_ = s; touch(); }
    // When set, the shadow is that of this path (in the layer's bounds space) instead of the
    // layer's rendered content.
    const std::optional<cg::Path>& shadowPath() const { return shadowPath_; }
    void setShadowPath(std::optional<cg::Path> p) { shadowPath_ = std::move(p); touch(); }

    // --- Layer timing ---
    double beginTime() const { return beginTime_; }
    void setBeginTime(double t) { beginTime_ = t; touch(); }
    double speed() const { return speed_; }
    void setSpeed(double s) { speed_ = s; touch(); }
    double timeOffset() const { return timeOffset_; }
    void setTimeOffset(double t) { timeOffset_ = t; touch(); }
    // Converts a time from another layer's time line (nullptr: media time) into this layer's.
    double convertTime(double t, const Layer* from) const;
    // This layer's local time at the given media time.
    double localTime(double mediaTime) const;

    // --- Tree ---
    Layer* superlayer() const { return superlayer_; }
    std::span<const std::shared_ptr<Layer>> sublayers() const { return sublayers_; }
    // Each insertion first detaches the layer from its old superlayer. Inserting a layer into
    // itself or into one of its own descendants does nothing.
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, size_t index);
    void insertSublayer(std::shared_ptr<Layer> layer, const Layer* above);  // on top when absent
    void insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* below);
    void removeFromSuperlayer();

    // --- Animations ---
    // Adds a copy of the animation under the key; an animation already under that key is removed
    // first (an empty key never replaces). Animations apply in the order they were added.
    // A transition snapshots the current contents here.
    void add(const Animation& animation, const std::string& key);
    std::shared_ptr<const Animation> animation(const std::string& key) const;
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;

    struct AnimationEntry {
        std::string key;
        std::shared_ptr<Animation> animation;
        bool resolved = false;  // the begin time is final (see commit)
        // What a frame's walk reads of the animation, copied beside it when it is added (the begin
        // time again when committed): the walk then reaches the animation itself, and a group's
        // children, only to evaluate a layer that shows.
        double beginTime = 0, speed = 1;
        double span = 0;         // its active duration at the top level
        double rate = 0;         // the frame rate it asks for, infinite for no preference
        bool removedOnCompletion = true;
        bool reshapes = false;   // it can turn or scale the layer
    };
    std::span<const AnimationEntry> animationEntries() const { return animations_; }
    // The animations laid out for a frame's walk, in the same order (see detail::Program).
    const detail::Program& program() const { return program_; }

    // Fixes the begin time of every animation added since the last commit in this subtree: a zero
    // begin time becomes the layer's local time at `mediaTime`. The host calls this once after
    // each batch of changes (the reference commits a transaction at the end of the run-loop turn).
    // Animations never committed begin at local time 0.
    void commit(double mediaTime);
    // Drops, in this subtree, the animations that are finished at `mediaTime` and removed on
    // completion. Presentation ignores them anyway; this only frees them.
    void removeFinishedAnimations(double mediaTime);

    // --- Presentation ---
    // Every animated value of this layer at media time t. Pure: depends only on the tree and t.
    Presentation presentation(double mediaTime) const;

protected:
    explicit Layer(Kind kind);
    void touch() { version_ = nextVersion(); }
    // Counts a change that leaves this layer's own version alone (sublayers, animations).
    static void changed() { nextVersion(); }

private:
    static uint64_t nextVersion();
    bool isAncestorOrSelf(const Layer* other) const;
    void commitAt(double local);
    void removeFinishedAt(double local);
    void detachChild(const Layer* child);

    // What a frame's walk reads comes first, in the order it reads it, so that it spans as few cache
    // lines as it can (six of 64 bytes); the rest follows.
    Kind kind_;
    bool hidden_ = false;
    CompositingFilter filter_ = CompositingFilter::none;
    ContentsFilter minFilter_ = ContentsFilter::linear;
    ContentsFilter magFilter_ = ContentsFilter::linear;
    uint64_t id_;
    uint64_t version_;
    cg::Rect bounds_;
    cg::Point position_;
    cg::Point anchorPoint_{0.5, 0.5};
    double opacity_ = 1;
    double beginTime_ = 0;
    double speed_ = 1;
    double timeOffset_ = 0;
    cg::Transform transform_;
    cg::ImageRef contents_;
    TransformParts parts_;
    double shadowOpacity_ = 0;
    double shadowRadius_ = 3;
    std::optional<cg::Color> background_;
    std::vector<std::shared_ptr<Layer>> sublayers_;
    detail::Program program_;  // built again whenever animations_ changes
    double cornerRadius_ = 0;
    Layer* superlayer_ = nullptr;
    cg::Color shadowColor_ = cg::Color::black();
    cg::Size shadowOffset_{0, -3};
    std::vector<AnimationEntry> animations_;
    std::optional<cg::Path> shadowPath_;
};

// A layer that draws a path: filled (unless the fill colour is none) and then stroked (when a
// stroke colour is set), in the layer's bounds space.
class ShapeLayer : public Layer {
public:
    ShapeLayer() : Layer(Kind::shape) {}

    const std::optional<cg::Path>& path() const { return path_; }
    void setPath(std::optional<cg::Path> p) { path_ = std::move(p); touch(); }
    const std::optional<cg::Color>& fillColor() const { return fill_; }
    void setFillColor(std::optional<cg::Color> c) { fill_ = c; touch(); }
    const std::optional<cg::Color>& strokeColor() const { return stroke_; }
    void setStrokeColor(std::optional<cg::Color> c) { stroke_ = c; touch(); }
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w) { lineWidth_ = w; touch(); }
    cg::LineCap lineCap() const { return cap_; }
    void setLineCap(cg::LineCap c) { cap_ = c; touch(); }
    cg::LineJoin lineJoin() const { return join_; }
    void setLineJoin(cg::LineJoin j) { join_ = j; touch(); }
    double miterLimit() const { return miterLimit_; }
    void setMiterLimit(double m) { miterLimit_ = m; touch(); }

private:
    std::optional<cg::Path> path_;
    std::optional<cg::Color> fill_ = cg::Color::black();
    std::optional<cg::Color> stroke_;
    double lineWidth_ = 1;
    cg::LineCap cap_ = cg::LineCap::butt;
    cg::LineJoin join_ = cg::LineJoin::miter;
    double miterLimit_ = 10;
};

// A layer filled with a gradient over its (rounded) bounds. Points are in the unit square of the
// bounds. Axial: from startPoint to endPoint, the end colours extended. Radial: centred on
// startPoint, reaching endPoint's offset in x and y (an ellipse), the last colour not extended.
class GradientLayer : public Layer {
public:
    enum class Type { axial, radial };

    GradientLayer() : Layer(Kind::gradient) {}

    Type type() const { return type_; }
    void setType(Type t) { type_ = t; touch(); }
    const std::vector<cg::Color>& colors() const { return colors_; }
    void setColors(std::vector<cg::Color> c) { colors_ = std::move(c); rebuild(); }
    // Empty: evenly spread.
    const std::vector<double>& locations() const { return locations_; }
    void setLocations(std::vector<double> l) { locations_ = std::move(l); rebuild(); }
    cg::Point startPoint() const { return start_; }
    void setStartPoint(cg::Point p) { start_ = p; touch(); }
    cg::Point endPoint() const { return end_; }
    void setEndPoint(cg::Point p) { end_ = p; touch(); }
    // The gradient built from colours and locations.
    const cg::Gradient& gradient() const { return gradient_; }

private:
    void rebuild() { gradient_ = cg::Gradient(colors_, locations_); touch(); }

    Type type_ = Type::axial;
    std::vector<cg::Color> colors_;
    std::vector<double> locations_;
    cg::Point start_{0.5, 0};
    cg::Point end_{0.5, 1};
    cg::Gradient gradient_;
};

}  // namespace ca
