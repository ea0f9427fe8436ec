#include "SelfTest/Preview.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/StateGuard.h"

namespace SelfTest {

cg::ImageRef withIcons(const cg::ImageRef& image, const SceneSpec& spec, const std::vector<Sprite>& sprites) {
    if (!image) return image;
    const int pw = image->pixelWidth(), ph = image->pixelHeight();
    auto ctx = cg::Context::makeBitmap(pw, ph, 1);
    if (!ctx) return image;
    ctx->draw(image, cg::Rect(0, 0, pw, ph));
    ctx->scaleBy(spec.scale, spec.scale);

    for (const Sprite& sp : sprites) {
        if (sp.kind == Sprite::Kind::cloud || sp.kind == Sprite::Kind::blast || sp.kind == Sprite::Kind::burst)
            continue;
        const cg::ImageRef& picture = sp.image ? sp.image : (sp.frames.empty() ? sp.image : sp.frames.front());
        if (!picture) continue;
        const cg::Point at = sp.path.size() > 2 && sp.closed ? sp.path.front() : sp.at;
        cg::SavedState saved(*ctx);
        if (sp.glow) ctx->setBlendMode(cg::BlendMode::colorDodge);
        ctx->translateBy(at.x, at.y);
        ctx->rotateBy(sp.angle);
        const double w = sp.size;
        const double h = w * picture->pixelHeight() / picture->pixelWidth();
        ctx->draw(picture, cg::Rect(-w * sp.anchor.x, -h * sp.anchor.y, w, h));
    }

    const double s = spec.iconSize;
    ctx->setShadow({0, -1}, 3, cg::Color::black(0.35));
    for (const cg::Point& c : spec.icons) {
        const double x = c.x, y = spec.size.height - c.y;
        ctx->setFillColor(cg::Color::white());
        ctx->beginPath();
        ctx->addRoundedRect(cg::Rect(x - 0.38 * s, y - s / 2, 0.76 * s, s), 0.08 * s, 0.08 * s);
        ctx->fillPath();
        if (spec.textSize > 9) {
            ctx->setFillColor(cg::Color::white(0.9));
            ctx->fill(cg::Rect(x - 34, y - s / 2 - 12, 68, 6));
            ctx->fill(cg::Rect(x - 24, y - s / 2 - 24, 48, 6));
        }
    }
    cg::ImageRef result = ctx->makeImage();
    return result ? result : image;
}

}  // namespace SelfTest
