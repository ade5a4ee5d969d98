#include "dialog.h"

#include <cstdio>
#include <memory>

#include "probe.h"

namespace gwprobe {

namespace {

#include "icon128.xpm"

constexpr char kLatinLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The style class that scopes the dialog's style sheet to dialog 102.
constexpr char kDialogClass[] = "dialog102";

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct FontDescriptionFree {
  void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
using FontPtr = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

FontPtr DialogFont() {
  FontPtr font(pango_font_description_new());
  pango_font_description_set_family(font.get(), kDialogFontFamily);
  pango_font_description_set_size(font.get(), kDialogFontPoints * PANGO_SCALE);
  return font;
}

// Rounded to the nearest, halves up, as MulDiv rounds non-negative values.
int MulDiv(int value, int numerator, int denominator) {
  return (value * numerator + denominator / 2) / denominator;
}

// The font and the default button's frame of the template. GTK's theme would give the button
// a minimum size and padding of its own; the template's size is the button's size.
std::string DialogStyleSheet() {
  const std::string scope = std::string("window.") + kDialogClass;
  return scope + " { font-family: \"" + kDialogFontFamily + "\"; font-size: " +
         std::to_string(kDialogFontPoints) + "pt; }\n" + scope +
         " button { min-width: 0; min-height: 0; padding: 0; }\n";
}

void ApplyDialogStyle(GtkWidget* window) {
  const GObjectPtr<GtkCssProvider> css(gtk_css_provider_new());
  gtk_css_provider_load_from_data(css.get(), DialogStyleSheet().c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window),
                                            GTK_STYLE_PROVIDER(css.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  gtk_style_context_add_class(gtk_widget_get_style_context(window), kDialogClass);
}

// Icon 128 as the large and the small window icon.
void SetIcon(GtkWindow* window) {
  const GObjectPtr<GdkPixbuf> large(gdk_pixbuf_new_from_xpm_data(kIcon128));
  const GObjectPtr<GdkPixbuf> small(
      gdk_pixbuf_scale_simple(large.get(), 16, 16, GDK_INTERP_BILINEAR));
  GList* icons = g_list_append(g_list_append(nullptr, large.get()), small.get());
  gtk_window_set_icon_list(window, icons);
  g_list_free(icons);
}

void Place(GtkFixed* fixed, GtkWidget* control, Rect pixels) {
  gtk_widget_set_size_request(control, pixels.width, pixels.height);
  gtk_fixed_put(fixed, control, pixels.x, pixels.y);
}

GtkWidget* StaticText(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  return label;
}

// The state of dialog 102 while it is shown. `ended` is set once the dialog has been told to
// end (by OK, Escape or the close box); from then on it answers nothing.
struct Dialog {
  GtkWidget* window = nullptr;
  const std::function<std::string()>* test = nullptr;
  bool ended = false;
};

void OnOk(GtkButton*, Dialog* dialog) {
  if (dialog->ended) return;
  dialog->ended = true;
  const std::string message = (*dialog->test)();
  ShowMessageBox(GTK_WINDOW(dialog->window), message);
  gtk_widget_destroy(dialog->window);
}

gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, Dialog* dialog) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  if (!dialog->ended) {
    dialog->ended = true;
    gtk_widget_destroy(window);
  }
  return TRUE;
}

// The close box. While a test runs or its message box is up the dialog has already ended and
// stays until the box is dismissed.
gboolean OnDelete(GtkWidget*, GdkEvent*, Dialog* dialog) {
  if (dialog->ended) return TRUE;
  dialog->ended = true;
  return FALSE;
}

GtkWidget* CreateDialog(Dialog& dialog) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), kDialogTitle);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  SetIcon(GTK_WINDOW(window));
  ApplyDialogStyle(window);

  const BaseUnits base = MeasureBaseUnits(gtk_widget_get_pango_context(window));
  GtkWidget* fixed = gtk_fixed_new();
  const Rect client = ToPixels(kDialogClient, base);
  gtk_widget_set_size_request(fixed, client.width, client.height);
  for (const Control& text : kStaticTexts)
    Place(GTK_FIXED(fixed), StaticText(text.text), ToPixels(text.rect, base));
  GtkWidget* ok = gtk_button_new_with_label(kOkButton.text);
  Place(GTK_FIXED(fixed), ok, ToPixels(kOkButton.rect, base));
  gtk_container_add(GTK_CONTAINER(window), fixed);

  gtk_widget_set_can_default(ok, TRUE);
  gtk_window_set_default(GTK_WINDOW(window), ok);
  gtk_widget_grab_focus(ok);
  g_signal_connect(ok, "clicked", G_CALLBACK(OnOk), &dialog);
  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), &dialog);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), &dialog);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  return window;
}

}  // namespace

BaseUnits MeasureBaseUnits(PangoContext* context) {
  const FontPtr font = DialogFont();
  const Rect letters = TextExtent(context, kLatinLetters);
  PangoFontMetrics* metrics =
      pango_context_get_metrics(context, font.get(), pango_language_from_string("ko"));
  const int height = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                  pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  return {(letters.width / 26 + 1) / 2, height};
}

Rect ToPixels(Rect units, BaseUnits base) {
  return {MulDiv(units.x, base.horizontal, 4), MulDiv(units.y, base.vertical, 8),
          MulDiv(units.width, base.horizontal, 4), MulDiv(units.height, base.vertical, 8)};
}

Rect TextExtent(PangoContext* context, const char* text) {
  const GObjectPtr<PangoLayout> layout(pango_layout_new(context));
  const FontPtr font = DialogFont();
  pango_layout_set_font_description(layout.get(), font.get());
  pango_layout_set_text(layout.get(), text, -1);
  Rect extent;
  pango_layout_get_pixel_size(layout.get(), &extent.width, &extent.height);
  return extent;
}

void RunDialog(const std::function<std::string()>& test) {
  Dialog dialog{nullptr, &test, false};
  dialog.window = CreateDialog(dialog);
  gtk_widget_show_all(dialog.window);
  gtk_main();
}

void ShowMessageBox(GtkWindow* parent, std::string_view text) {
  std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stdout);

  // The OK button's label in the user's language, as GTK's own dialogs have it.
  GtkWidget* box = gtk_dialog_new_with_buttons(kProgramName, parent, GTK_DIALOG_MODAL,
                                               g_dgettext("gtk30", "_OK"), GTK_RESPONSE_OK,
                                               nullptr);
  gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
  gtk_window_set_position(GTK_WINDOW(box),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  gtk_box_pack_start(GTK_BOX(row), gtk_image_new_from_icon_name("dialog-warning",
                                                                GTK_ICON_SIZE_DIALOG),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), gtk_label_new(std::string(text).c_str()), FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(box))), row);
  gtk_widget_show_all(row);

  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

}  // namespace gwprobe
