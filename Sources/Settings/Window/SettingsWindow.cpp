#include "Settings/Window/SettingsWindow.h"

#include "Settings/SceneGrid.h"

#include <gtk/gtk.h>

#include "Settings/Window/UserTime.h"

#include <cmath>
#include <string>
#include <utility>

namespace {

constexpr int kWidth = 460;
constexpr int kBorder = 20;
constexpr int kRowPadding = 12;
constexpr int kSpacing = 10;
// A thumbnail's height for the width a column gets: three columns of the grid's width, ratio 1.6.
constexpr int kPictureHeight = ((kWidth - 2 * kBorder - 2 * kRowPadding - 2 * kSpacing) / 3) * 10 / 16;

// What one cell's picture draws; owned by its drawing area.
struct Cell {
    cg::ImageRef image;
    bool selected = false;
};

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

gboolean drawCell(GtkWidget* area, cairo_t* cr, gpointer) {
    const auto* cell = static_cast<const Cell*>(g_object_get_data(G_OBJECT(area), "cell"));
    if (!cell) return FALSE;
    const double W = gtk_widget_get_allocated_width(area), H = gtk_widget_get_allocated_height(area);
    // The picture keeps its 1.6 ratio and fits the space, centred.
    double w = W, h = W / 1.6;
    if (h > H) {
        h = H;
        w = H * 1.6;
    }
    const double x = (W - w) / 2, y = (H - h) / 2;
    GtkStyleContext* style = gtk_widget_get_style_context(area);
    GdkRGBA fg;
    gtk_style_context_get_color(style, gtk_style_context_get_state(style), &fg);

    cairo_save(cr);
    roundedRect(cr, x, y, w, h, 6);
    cairo_clip(cr);
    if (cell->image) {
        const cg::Image& img = *cell->image;
        // cg images are Cairo's premultiplied ARGB32 with rows of exactly 4 × width bytes; only read here.
        cairo_surface_t* surface = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(img.data())), CAIRO_FORMAT_ARGB32,
            img.pixelWidth(), img.pixelHeight(), static_cast<int>(img.bytesPerRow()));
        cairo_translate(cr, x, y);
        cairo_scale(cr, w / img.pixelWidth(), h / img.pixelHeight());
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_surface_destroy(surface);
    } else {
        // The secondary colour (the foreground at half strength) at opacity 0.15.
        cairo_set_source_rgba(cr, fg.red, fg.green, fg.blue, fg.alpha * 0.5 * 0.15);
        cairo_paint(cr);
    }
    cairo_restore(cr);

    // The border lies inside the picture's rounded rectangle.
    const double line = cell->selected ? 2.5 : 1.0;
    roundedRect(cr, x + line / 2, y + line / 2, w - line, h - line, 6 - line / 2);
    cairo_set_line_width(cr, line);
    if (cell->selected) {
        GdkRGBA accent{0.21, 0.52, 0.89, 1};
        gtk_style_context_lookup_color(style, "theme_selected_bg_color", &accent);
        gdk_cairo_set_source_rgba(cr, &accent);
    } else {
        cairo_set_source_rgba(cr, fg.red, fg.green, fg.blue, fg.alpha * 0.1);
    }
    cairo_stroke(cr);
    return FALSE;
}

GtkWidget* dimLabel(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 1);  // wrap at the width given, never widen the form
    gtk_widget_set_hexpand(label, TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(label), "dim-label");
    return label;
}

// A framed group of rows, like one section of a grouped form.
GtkWidget* group(GtkWidget* parent) {
    GtkWidget* frame = gtk_frame_new(nullptr);
    GtkWidget* list = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_NONE);
    gtk_container_add(GTK_CONTAINER(frame), list);
    gtk_box_pack_start(GTK_BOX(parent), frame, FALSE, FALSE, 0);
    return list;
}

void addRow(GtkWidget* list, GtkWidget* content) {
    GtkWidget* row = gtk_list_box_row_new();
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), FALSE);
    gtk_widget_set_margin_start(content, kRowPadding);
    gtk_widget_set_margin_end(content, kRowPadding);
    gtk_widget_set_margin_top(content, 8);
    gtk_widget_set_margin_bottom(content, 8);
    gtk_container_add(GTK_CONTAINER(row), content);
    gtk_container_add(GTK_CONTAINER(list), row);
}

// A row with a title on the leading side and its control on the trailing side.
void addLabelledRow(GtkWidget* list, const char* title, GtkWidget* control) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* label = gtk_label_new(title);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
    gtk_widget_set_valign(control, GTK_ALIGN_CENTER);
    gtk_box_pack_end(GTK_BOX(box), control, FALSE, FALSE, 0);
    addRow(list, box);
}

GtkWidget* picker(const char* name, std::initializer_list<const char*> options) {
    GtkWidget* combo = gtk_combo_box_text_new();
    gtk_widget_set_name(combo, name);
    int tag = 0;
    for (const char* option : options)
        gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(combo), std::to_string(tag++).c_str(), option);
    return combo;
}

}  // namespace

struct SettingsWindow::Widgets {
    Host host;
    LoginItem login;
    LoginItem::Status loginStatus = LoginItem::Status::notRegistered;

    GtkWidget* window = nullptr;
    GtkWidget* loginSwitch = nullptr;
    GtkWidget* grid = nullptr;
    GtkWidget* daily = nullptr;
    GtkWidget* lighting = nullptr;
    GtkWidget* folders = nullptr;

    // Counts thumbnail deliveries; the grid is rebuilt when it moves on, or when the selection moves.
    int thumbsTick = 0;
    int builtTick = -1;
    SceneKind builtCurrent = SceneKind::archipelago;

    bool syncing = false;  // set while the controls are made to show stored values: no writes then
    bool placed = false;   // where the user left the window, to show it there again
    int x = 0, y = 0;

    Widgets(Host h, LoginItem l) : host(std::move(h)), login(std::move(l)) {}

    void build();
    void buildGrid(SceneKind current);
    void sync();
    void write(const char* key, PreferenceValue value) {
        if (syncing || !host.apply) return;
        host.apply(key, value);
        sync();
    }
};

void SettingsWindow::Widgets::build() {
    loginStatus = login.status();

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Vistamere Settings");
    // Titled and closable only: no resizing, and a dialog's hint keeps window managers from offering
    // to minimise it.
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    g_signal_connect(window, "delete-event", G_CALLBACK(+[](GtkWidget* win, GdkEvent*, gpointer data) -> gboolean {
                         auto* self = static_cast<Widgets*>(data);
                         gtk_window_get_position(GTK_WINDOW(win), &self->x, &self->y);
                         self->placed = true;
                         gtk_widget_hide(win);
                         return TRUE;
                     }),
                     this);
    // The login item may have been changed elsewhere while the user was away.
    g_signal_connect(window, "focus-in-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                         auto* self = static_cast<Widgets*>(data);
                         self->loginStatus = self->login.status();
                         self->sync();
                         return FALSE;
                     }),
                     this);

    GtkWidget* form = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(form), kBorder);
    gtk_widget_set_size_request(form, kWidth, -1);
    gtk_container_add(GTK_CONTAINER(window), form);

    // Section 1: the login item.
    GtkWidget* first = group(form);
    loginSwitch = gtk_switch_new();
    gtk_widget_set_name(loginSwitch, "launchAtLogin");
    addLabelledRow(first, "Launch at Login", loginSwitch);
    g_signal_connect(loginSwitch, "notify::active", G_CALLBACK(+[](GObject* sw, GParamSpec*, gpointer data) {
                         auto* self = static_cast<Widgets*>(data);
                         if (self->syncing) return;
                         self->loginStatus = self->login.set(gtk_switch_get_active(GTK_SWITCH(sw)));
                         self->sync();
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(form), dimLabel("Opens quietly in the menu bar when you log in."), FALSE, FALSE, 0);

    // Section 2: the scene.
    GtkWidget* header = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(header), "<b>Scene</b>");
    gtk_label_set_xalign(GTK_LABEL(header), 0);
    gtk_widget_set_margin_top(header, 12);
    gtk_box_pack_start(GTK_BOX(form), header, FALSE, FALSE, 0);
    GtkWidget* second = group(form);
    grid = gtk_grid_new();
    gtk_widget_set_name(grid, "sceneGrid");
    gtk_grid_set_column_homogeneous(GTK_GRID(grid), TRUE);
    gtk_grid_set_column_spacing(GTK_GRID(grid), kSpacing);
    gtk_grid_set_row_spacing(GTK_GRID(grid), kSpacing);
    gtk_widget_set_halign(grid, GTK_ALIGN_FILL);
    GtkWidget* gridBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_margin_top(grid, 4);
    gtk_widget_set_margin_bottom(grid, 4);
    gtk_box_pack_start(GTK_BOX(gridBox), grid, FALSE, FALSE, 0);
    addRow(second, gridBox);
    daily = gtk_switch_new();
    gtk_widget_set_name(daily, "daily");
    addLabelledRow(second, "Change Scene Daily", daily);
    g_signal_connect(daily, "notify::active", G_CALLBACK(+[](GObject* sw, GParamSpec*, gpointer data) {
                         static_cast<Widgets*>(data)->write("daily", bool(gtk_switch_get_active(GTK_SWITCH(sw))));
                     }),
                     this);

    // Section 3: lighting and folder icons.
    GtkWidget* third = group(form);
    gtk_widget_set_margin_top(gtk_widget_get_parent(third), 12);
    lighting = picker("lighting", {"Match System", "Day", "Night"});
    folders = picker("folders", {"Original", "Match Scene"});
    addLabelledRow(third, "Lighting", lighting);
    addLabelledRow(third, "Folder Icons", folders);
    auto changed = +[](GtkComboBox* combo, gpointer data) {
        const char* id = gtk_combo_box_get_active_id(combo);
        if (!id) return;
        static_cast<Widgets*>(data)->write(gtk_widget_get_name(GTK_WIDGET(combo)), int64_t{std::stoi(id)});
    };
    g_signal_connect(lighting, "changed", G_CALLBACK(changed), this);
    g_signal_connect(folders, "changed", G_CALLBACK(changed), this);
    gtk_box_pack_start(GTK_BOX(form),
                       dimLabel("Match Scene paints the folders on your Desktop. Folders with your own icon, "
                                "colour or emoji are left alone."),
                       FALSE, FALSE, 0);
    sync();
}

void SettingsWindow::Widgets::buildGrid(SceneKind current) {
    g_autoptr(GList) old = gtk_container_get_children(GTK_CONTAINER(grid));
    for (GList* c = old; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));

    const bool night = host.night ? host.night() : false;
    const auto entries = scene_grid::entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int column = static_cast<int>(i % scene_grid::columns), row = static_cast<int>(i / scene_grid::columns);
        if (!entries[i]) {
            GtkWidget* blank = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_widget_set_name(blank, "blank");
            gtk_grid_attach(GTK_GRID(grid), blank, column, row, 1, 1);
            continue;
        }
        const SceneKind kind = *entries[i];
        const bool selected = kind == current;
        const std::string title = scene_grid::title(kind);

        GtkWidget* button = gtk_button_new();
        gtk_widget_set_name(button, std::string(scene_kind::rawValue(kind)).c_str());
        gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
        atk_object_set_name(gtk_widget_get_accessible(button), title.c_str());
        g_object_set_data(G_OBJECT(button), "kind", GINT_TO_POINTER(static_cast<int>(scene_kind::position(kind))));
        g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer data) {
                             const int position = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "kind"));
                             static_cast<Widgets*>(data)->write(
                                 "scene", std::string(scene_kind::rawValues[static_cast<std::size_t>(position)]));
                         }),
                         this);

        GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
        GtkWidget* picture = gtk_drawing_area_new();
        gtk_widget_set_size_request(picture, -1, kPictureHeight);
        auto* cell = new Cell{host.thumbnails ? host.thumbnails->thumb(kind, night) : nullptr, selected};
        g_object_set_data_full(G_OBJECT(picture), "cell", cell, [](gpointer p) { delete static_cast<Cell*>(p); });
        g_signal_connect(picture, "draw", G_CALLBACK(drawCell), nullptr);
        gtk_box_pack_start(GTK_BOX(stack), picture, FALSE, FALSE, 0);

        GtkWidget* label = gtk_label_new(title.c_str());
        g_autoptr(PangoAttrList) attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_scale_new(PANGO_SCALE_SMALL));
        gtk_label_set_attributes(GTK_LABEL(label), attrs);
        if (!selected) gtk_style_context_add_class(gtk_widget_get_style_context(label), "dim-label");
        gtk_box_pack_start(GTK_BOX(stack), label, FALSE, FALSE, 0);

        gtk_container_add(GTK_CONTAINER(button), stack);
        gtk_grid_attach(GTK_GRID(grid), button, column, row, 1, 1);
    }
    gtk_widget_show_all(grid);
}

void SettingsWindow::Widgets::sync() {
    if (!window) return;
    syncing = true;
    gtk_switch_set_active(GTK_SWITCH(loginSwitch), loginStatus == LoginItem::Status::enabled);
    const Preferences prefs = host.preferences ? host.preferences() : Preferences{};
    gtk_switch_set_active(GTK_SWITCH(daily), prefs.daily);
    // Stored values outside the choices select nothing, as a picker with no matching tag does.
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(lighting), std::to_string(prefs.lighting).c_str());
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(folders), std::to_string(prefs.folders).c_str());
    const SceneKind current = host.current ? host.current() : SceneKind::archipelago;
    if (builtTick != thumbsTick || builtCurrent != current) {
        builtTick = thumbsTick;
        builtCurrent = current;
        buildGrid(current);
    }
    syncing = false;
}

SettingsWindow::SettingsWindow(Host host, LoginItem login)
    : w_(std::make_unique<Widgets>(std::move(host), std::move(login))) {}

SettingsWindow::~SettingsWindow() {
    if (w_->window) gtk_widget_destroy(w_->window);
}

void SettingsWindow::open() {
    if (!w_->window) {
        w_->build();
        gtk_window_set_position(GTK_WINDOW(w_->window), GTK_WIN_POS_CENTER);
        // Stamped before it maps: the window manager decides on focus when it maps the window.
        stampUserTime(w_->window);
        gtk_widget_show_all(w_->window);
        // Centred once: afterwards it stays where the user puts it.
        gtk_window_set_position(GTK_WINDOW(w_->window), GTK_WIN_POS_NONE);
    } else if (!gtk_widget_get_visible(w_->window) && w_->placed) {
        gtk_window_move(GTK_WINDOW(w_->window), w_->x, w_->y);
    }
    gtk_window_present_with_time(GTK_WINDOW(w_->window), stampUserTime(w_->window));
}


void SettingsWindow::thumbnailsReady() {
    ++w_->thumbsTick;
    w_->sync();
}

void SettingsWindow::preferencesChanged() { w_->sync(); }

GtkWidget* SettingsWindow::window() const { return w_->window; }
