#include "SelfTest/Preview.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "Platform/Graphics/StateGuard.h"

namespace SelfTest {
namespace {

constexpr std::array<SampleItem, 10> kItems = {{
    {"Projects", ItemType::folder},
    {"Photos", ItemType::folder},
    {"Report.pdf", ItemType::pdf},
    {"Design", ItemType::folder},
    {"Screenshot.png", ItemType::png},
    {"Notes.txt", ItemType::plainText},
    {"Invoices", ItemType::folder},
    {"Archive.zip", ItemType::zip},
    {"Music", ItemType::folder},
    {"Budget.csv", ItemType::commaSeparatedText},
}};

std::mutex iconsLock;
ItemIcons& installedIcons() {
    static ItemIcons icons;
    return icons;
}

// A folder seen from the front, filling the icon box's lower part like the desktop's own.
void drawnFolder(cg::Context& g, const cg::Rect& r) {
    const double s = r.width(), x = r.minX(), y = r.minY();
    const cg::Rect back(x + 0.06 * s, y + 0.14 * s, 0.88 * s, 0.68 * s);
    g.setFillColor(cg::Color::rgb(0x3F8CD8));
    g.beginPath();
    g.addRoundedRect(back, 0.06 * s, 0.06 * s);
    g.addRoundedRect(cg::Rect(x + 0.06 * s, y + 0.7 * s, 0.36 * s, 0.16 * s), 0.05 * s, 0.05 * s);
    g.fillPath();
    const cg::Gradient front({cg::Color::rgb(0x8FC6F5), cg::Color::rgb(0x5AA5EC)}, {0, 1});
    cg::SavedState saved(g);
    cg::Path face;
    face.addRoundedRect(cg::Rect(x + 0.06 * s, y + 0.14 * s, 0.88 * s, 0.58 * s), 0.06 * s, 0.06 * s);
    g.clip(face);
    g.drawLinearGradient(front, {x, y + 0.72 * s}, {x, y + 0.14 * s});
}

// A sheet with a folded corner and a coloured band that names the kind of file.
void drawnDocument(cg::Context& g, const cg::Rect& r, ItemType type) {
    const double s = r.width(), x = r.minX(), y = r.minY();
    const double left = x + 0.18 * s, right = x + 0.82 * s, bottom = y + 0.04 * s, top = y + 0.96 * s;
    const double fold = 0.2 * s;
    cg::Path sheet;
    sheet.moveTo({left, bottom});
    sheet.lineTo({right, bottom});
    sheet.lineTo({right, top - fold});
    sheet.lineTo({right - fold, top});
    sheet.lineTo({left, top});
    sheet.closeSubpath();
    g.setFillColor(cg::Color::rgb(0xFAFAFA));
    g.fill(sheet);
    g.setStrokeColor(cg::Color::rgb(0x9AA0A6));
    g.setLineWidth(std::max(0.5, 0.015 * s));
    g.beginPath();
    g.addPath(sheet);
    g.strokePath();
    g.setFillColor(cg::Color::rgb(0xD9DCE0));
    cg::Path corner;
    corner.moveTo({right - fold, top});
    corner.lineTo({right - fold, top - fold});
    corner.lineTo({right, top - fold});
    corner.closeSubpath();
    g.fill(corner);

    uint32_t band = 0x8A9099;
    switch (type) {
        case ItemType::pdf: band = 0xD93A2B; break;
        case ItemType::png: band = 0x7A4FD6; break;
        case ItemType::zip: band = 0x9A7B4F; break;
        case ItemType::commaSeparatedText: band = 0x2E9E5B; break;
        case ItemType::plainText:
        case ItemType::folder: break;
    }
    if (type == ItemType::png) {
        // A small landscape: sky, sun and a hill.
        const cg::Rect pic(left + 0.08 * s, bottom + 0.3 * s, right - left - 0.16 * s, 0.34 * s);
        g.setFillColor(cg::Color::rgb(0x9FD3F5));
        g.fill(pic);
        g.setFillColor(cg::Color::rgb(0xF5C542));
        g.fillEllipse(cg::Rect(pic.maxX() - 0.16 * s, pic.maxY() - 0.14 * s, 0.09 * s, 0.09 * s));
        g.setFillColor(cg::Color::rgb(0x4CA35A));
        g.beginPath();
        g.moveTo({pic.minX(), pic.minY()});
        g.lineTo({pic.minX() + 0.45 * pic.width(), pic.minY() + 0.7 * pic.height()});
        g.lineTo({pic.maxX(), pic.minY()});
        g.closePath();
        g.fillPath();
    } else {
        // Lines of text.
        g.setFillColor(cg::Color::rgb(0xB8BDC3));
        for (int i = 0; i < 5; ++i)
            g.fill(cg::Rect(left + 0.08 * s, top - 0.34 * s - i * 0.1 * s, (right - left) * (i % 2 ? 0.55 : 0.75), 0.035 * s));
    }
    if (type != ItemType::plainText) {
        g.setFillColor(cg::Color::rgb(band));
        g.fill(cg::Rect(left, bottom + 0.06 * s, right - left, 0.16 * s));
    }
}

cg::ImageRef drawnIcon(ItemType type, int px) {
    auto ctx = cg::Context::makeBitmap(px, px, 1);
    if (!ctx) return nullptr;
    const cg::Rect box(0, 0, px, px);
    if (type == ItemType::folder) drawnFolder(*ctx, box);
    else drawnDocument(*ctx, box, type);
    return ctx->makeImage();
}

cg::ImageRef iconFor(ItemType type, int px) {
    ItemIcons icons;
    {
        std::lock_guard<std::mutex> hold(iconsLock);
        icons = installedIcons();
    }
    if (icons)
        if (cg::ImageRef found = icons(type, px)) return found;
    return drawnIcon(type, px);
}

}  // namespace

const SampleItem& sampleItem(int64_t i) { return kItems[static_cast<std::size_t>(((i % 10) + 10) % 10)]; }

void setItemIcons(ItemIcons icons) {
    std::lock_guard<std::mutex> hold(iconsLock);
    installedIcons() = std::move(icons);
}

void desktopItem(int64_t i, cg::Point at, const SceneSpec& spec, cg::Context& ctx) {
    const SampleItem& item = sampleItem(i);
    const double s = spec.iconSize, t = spec.textSize, x = at.x, y = at.y;
    const int px = static_cast<int>(std::clamp(std::ceil(s * spec.scale), 1.0, 1024.0));
    if (const cg::ImageRef icon = iconFor(item.type, px)) ctx.draw(icon, cg::Rect(x - s / 2, y - s / 2, s, s));

    const double L = std::max(s + 30, t * 9.5), Q = t * 1.3;
    const cg::Rect box = spec.labelsRight ? cg::Rect(x + s / 2 + 4, y - Q / 2, 1.3 * L, Q)
                                          : cg::Rect(x - L / 2, y - s / 2 - 3 - Q, L, Q);
    cg::TextStyle style;
    style.size = t;
    style.color = cg::Color::white();
    style.alignment = spec.labelsRight ? cg::TextAlignment::left : cg::TextAlignment::center;
    cg::SavedState saved(ctx);
    ctx.setShadow({0, -1}, 2.5, cg::Color::black(0.75));
    ctx.drawText(item.label, box, style);
}

cg::ImageRef withIcons(const cg::ImageRef& image, const SceneSpec& spec, const std::vector<Sprite>& sprites,
                       bool standIns) {
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

    if (!standIns) {
        int64_t i = 0;
        for (const cg::Point& c : spec.icons) desktopItem(i++, {c.x, spec.size.height - c.y}, spec, *ctx);
    } else {
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
    }
    cg::ImageRef result = ctx->makeImage();
    return result ? result : image;
}

}  // namespace SelfTest
