#include "Platform/Graphics/Text.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <memory>

namespace cg::detail {

void showText(cairo_t* cr, const std::string& text, double width, const TextStyle& style) {
    if (!(style.size > 0) || !std::isfinite(style.size) || !(width > 0) || !std::isfinite(width)) return;
    g_autoptr(PangoLayout) layout = pango_cairo_create_layout(cr);
    if (!layout) return;
    // Unhinted metrics: the same words take the same width at every scale.
    const std::unique_ptr<cairo_font_options_t, void (*)(cairo_font_options_t*)> held(cairo_font_options_create(),
                                                                                     cairo_font_options_destroy);
    cairo_font_options_t* options = held.get();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    pango_layout_context_changed(layout);

    g_autoptr(PangoFontDescription) font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);

    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_width(layout, static_cast<int>(std::min(width, 1.0e6) * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
    pango_layout_set_alignment(layout, style.alignment == TextAlignment::center ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
    pango_cairo_show_layout(cr, layout);
}

}  // namespace cg::detail
