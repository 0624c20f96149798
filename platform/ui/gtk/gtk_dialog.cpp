// A dialog shown as a GTK 3 window, laid out from its template: dialog units are converted with
// the base units of the template's font, as Windows does. User input goes to the dialog
// manager, which sends the procedure the messages a real dialog and trackbar send.
#include "gtk_frontend.h"

#include "dib_pixbuf.h"

#include <cctype>
#include <cmath>
#include <set>
#include <map>
#include <string>
#include <vector>

namespace vexa::ui {
namespace {

using platform::Dialog;
using platform::DialogControl;
using platform::TrackbarKey;

constexpr DWORD kSunken = 0x1000;  // SS_SUNKEN
constexpr DWORD kCenterImage = 0x200;
constexpr DWORD kStaticLeft = 0, kStaticCenter = 1, kStaticRight = 2, kStaticBitmap = 0xE;
constexpr DWORD kEtchedHorz = 0x10, kEtchedVert = 0x11;
constexpr DWORD kNoPrefix = 0x80;

// Windows' "&Done" is GTK's "_Done"; "&&" is a plain ampersand.
std::string mnemonicText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else if (c == '_') {
      out += "__";
    } else {
      out += c;
    }
  }
  return out;
}

// Dialogs being shown, so that a nested dialog can be made transient for its parent.
std::map<const Dialog*, GtkWindow*>& shownWindows() {
  static std::map<const Dialog*, GtkWindow*> windows;
  return windows;
}

class GtkDialogView : public platform::DialogView {
public:
  explicit GtkDialogView(Dialog& dialog) : dialog_(dialog) {}

  void build(HWND parent);
  void run();

  void textChanged(const DialogControl& control) override {
    GtkWidget* w = widgetOf(control);
    if (!w || !GTK_IS_LABEL(w)) return;
    if (control.style & kNoPrefix) gtk_label_set_text(GTK_LABEL(w), control.text.c_str());
    else gtk_label_set_text_with_mnemonic(GTK_LABEL(w), mnemonicText(control.text).c_str());
  }

  void trackbarChanged(const DialogControl& control) override {
    GtkWidget* w = widgetOf(control);
    if (!w || !GTK_IS_SCALE(w)) return;
    updating_ = true;
    GtkAdjustment* a = gtk_range_get_adjustment(GTK_RANGE(w));
    gtk_adjustment_configure(a, control.position, control.rangeMin,
                             std::max(control.rangeMin, control.rangeMax), control.lineSize,
                             control.pageSize, 0);
    placeTicks(control, w);
    updating_ = false;
  }

private:
  GtkWidget* widgetOf(const DialogControl& control) {
    size_t index = static_cast<size_t>(&control - dialog_.controls().data());
    return index < widgets_.size() ? widgets_[index] : nullptr;
  }
  int idOf(GtkWidget* w) const {
    for (size_t i = 0; i < widgets_.size(); ++i)
      if (widgets_[i] == w) return dialog_.controls()[i].id;
    return 0;
  }

  int px(int du) const { return static_cast<int>(std::lround(du * baseX_ / 4.0)); }
  int py(int du) const { return static_cast<int>(std::lround(du * baseY_ / 8.0)); }

  void measureFont(GtkWidget* window);
  GtkWidget* makeControl(const DialogControl& control);
  GtkWidget* makeStatic(const DialogControl& control);
  GtkWidget* makeTrackbar(const DialogControl& control);
  void placeTicks(const DialogControl& control, GtkWidget* scale);
  GdkPixbuf* resourceBitmap(int id);

  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void onFocus(GtkWindow*, GtkWidget* widget, gpointer self);
  static void onClicked(GtkButton* button, gpointer self);
  static void onValueChanged(GtkRange* range, gpointer self);
  static gboolean onRelease(GtkWidget* widget, GdkEventButton*, gpointer self);
  static gboolean onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);

  Dialog& dialog_;
  GtkWidget* window_ = nullptr;
  std::vector<GtkWidget*> widgets_;
  double baseX_ = 6;
  double baseY_ = 13;
  bool updating_ = false;
  std::vector<int> tickPositions_;
};

void GtkDialogView::measureFont(GtkWidget* window) {
  const platform::DialogResource& r = dialog_.resource();
  PangoFontDescription* font = pango_font_description_from_string("Sans");
  if (r.fontName && *r.fontName) pango_font_description_set_family(font, r.fontName);
  pango_font_description_set_size(font, (r.pointSize > 0 ? r.pointSize : 8) * PANGO_SCALE);
  PangoLayout* layout = gtk_widget_create_pango_layout(
      window, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  pango_layout_set_font_description(layout, font);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  // The dialog base units: average character width and the character height.
  if (width > 0) baseX_ = (width / 26 + 1) / 2;
  if (height > 0) baseY_ = height;
  g_object_unref(layout);

  // Every control in the template's font, with the compact spacing of a Windows dialog. The
  // rules go to the screen once per font, scoped to the dialogs that use it.
  std::string family = pango_font_description_get_family(font);
  int points = r.pointSize > 0 ? r.pointSize : 8;
  std::string styleClass = "vexa-dialog-" + std::to_string(points);
  for (char c : family) styleClass += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
  static std::set<std::string> installed;
  if (installed.insert(styleClass).second) {
    std::string scope = "." + styleClass;
    std::string rules = scope + ", " + scope + " * { font-family: \"" + family + "\", Sans; font-size: " +
                        std::to_string(points) + "pt; }\n" + scope +
                        " button { padding: 0 6px; min-height: 0; }\n" + scope +
                        " headerbar { min-height: 0; padding: 2px 6px; }\n" + scope +
                        " headerbar .title { font-weight: bold; }\n";
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, rules.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window),
                                              GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
  }
  gtk_style_context_add_class(gtk_widget_get_style_context(window), styleClass.c_str());
  pango_font_description_free(font);
}

GdkPixbuf* GtkDialogView::resourceBitmap(int id) {
  const platform::ResourceEntry* e =
      platform::findResource(dialog_.instance(), platform::kResourceBitmap, id);
  return e ? pixbufFromBitmapFile(static_cast<const unsigned char*>(e->data), e->size) : nullptr;
}

GtkWidget* GtkDialogView::makeStatic(const DialogControl& c) {
  DWORD kind = c.staticKind();
  if (kind == kStaticBitmap) {
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), (c.style & kSunken) ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
    GtkWidget* image = gtk_image_new();
    if (GdkPixbuf* picture = resourceBitmap(c.textOrdinal)) {
      gtk_image_set_from_pixbuf(GTK_IMAGE(image), picture);
      g_object_unref(picture);
    }
    float align = (c.style & kCenterImage) ? 0.5f : 0.0f;
    gtk_widget_set_halign(image, align == 0.5f ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
    gtk_widget_set_valign(image, align == 0.5f ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
    gtk_container_add(GTK_CONTAINER(frame), image);
    return frame;
  }
  if (kind == kEtchedHorz || kind == kEtchedVert) {
    GtkWidget* rule = gtk_separator_new(kind == kEtchedHorz ? GTK_ORIENTATION_HORIZONTAL
                                                            : GTK_ORIENTATION_VERTICAL);
    gtk_widget_set_valign(rule, GTK_ALIGN_START);
    return rule;
  }
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_justify(GTK_LABEL(label), kind == kStaticCenter  ? GTK_JUSTIFY_CENTER
                                          : kind == kStaticRight ? GTK_JUSTIFY_RIGHT
                                                                 : GTK_JUSTIFY_LEFT);
  gtk_label_set_xalign(GTK_LABEL(label), kind == kStaticCenter  ? 0.5f
                                         : kind == kStaticRight ? 1.0f
                                                                : 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
  (void)kStaticLeft;
  return label;
}

void GtkDialogView::placeTicks(const DialogControl& c, GtkWidget* scale) {
  if (!(c.style & TBS_AUTOTICKS) || c.ticFrequency <= 0) return;
  std::vector<int> ticks;
  int top = std::max(c.rangeMin, c.rangeMax);
  for (int p = c.rangeMin; p <= top; p += c.ticFrequency) ticks.push_back(p);
  if (ticks.empty() || ticks.back() != top) ticks.push_back(top);
  if (ticks == tickPositions_) return;
  tickPositions_ = ticks;
  gtk_scale_clear_marks(GTK_SCALE(scale));
  for (int p : ticks) gtk_scale_add_mark(GTK_SCALE(scale), p, GTK_POS_BOTTOM, nullptr);
}

GtkWidget* GtkDialogView::makeTrackbar(const DialogControl& c) {
  GtkAdjustment* a = gtk_adjustment_new(c.position, c.rangeMin, std::max(c.rangeMin, c.rangeMax),
                                        c.lineSize, c.pageSize, 0);
  GtkWidget* scale = gtk_scale_new((c.style & TBS_VERT) ? GTK_ORIENTATION_VERTICAL
                                                        : GTK_ORIENTATION_HORIZONTAL, a);
  gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
  gtk_scale_set_digits(GTK_SCALE(scale), 0);
  gtk_range_set_round_digits(GTK_RANGE(scale), 0);
  gtk_widget_set_can_focus(scale, TRUE);
  placeTicks(c, scale);
  g_signal_connect(scale, "value-changed", G_CALLBACK(onValueChanged), this);
  g_signal_connect(scale, "button-release-event", G_CALLBACK(onRelease), this);
  g_signal_connect(scale, "scroll-event", G_CALLBACK(onScroll), this);
  return scale;
}

GtkWidget* GtkDialogView::makeControl(const DialogControl& c) {
  GtkWidget* w = nullptr;
  if (c.isStatic()) {
    w = makeStatic(c);
  } else if (c.isTrackbar()) {
    w = makeTrackbar(c);
  } else if (c.isButton()) {
    w = gtk_button_new_with_mnemonic(mnemonicText(c.text).c_str());
    g_signal_connect(w, "clicked", G_CALLBACK(onClicked), this);
    if (c.isDefaultButton()) gtk_widget_set_can_default(w, TRUE);
  } else {
    w = gtk_label_new(c.text.c_str());  // a class this platform does not draw
  }
  gtk_widget_set_size_request(w, px(c.cx), std::max(1, py(c.cy)));
  if (!(c.style & WS_VISIBLE_BIT)) gtk_widget_set_no_show_all(w, TRUE);
  return w;
}

void GtkDialogView::build(HWND parent) {
  const platform::DialogResource& r = dialog_.resource();
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  measureFont(window_);
  gtk_window_set_title(GTK_WINDOW(window_), dialog_.caption().c_str());
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  // No system menu in the template: no close box.
  gtk_window_set_deletable(GTK_WINDOW(window_), (r.style & WS_SYSMENU_BIT) != 0);

  // The caption is drawn by the window itself, so it looks the same with any window manager.
  GtkWidget* header = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(header), dialog_.caption().c_str());
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), (r.style & WS_SYSMENU_BIT) != 0);
  gtk_window_set_titlebar(GTK_WINDOW(window_), header);

  if (Dialog* owner = Dialog::fromHandle(parent)) {
    auto shown = shownWindows().find(owner);
    if (shown != shownWindows().end()) {
      gtk_window_set_transient_for(GTK_WINDOW(window_), shown->second);
      gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER_ON_PARENT);
    }
  } else {
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  }

  if (const platform::ResourceEntry* icon =
          platform::findResource(dialog_.instance(), platform::kResourceIconGroup, 1)) {
    if (GdkPixbuf* picture =
            pixbufFromIconFile(static_cast<const unsigned char*>(icon->data), icon->size)) {
      gtk_window_set_icon(GTK_WINDOW(window_), picture);
      g_object_unref(picture);
    }
  }

  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, px(r.cx), py(r.cy));
  gtk_container_add(GTK_CONTAINER(window_), fixed);
  for (const DialogControl& c : dialog_.controls()) {
    GtkWidget* w = makeControl(c);
    gtk_fixed_put(GTK_FIXED(fixed), w, px(c.x), py(c.y));
    widgets_.push_back(w);
    if (c.isDefaultButton()) gtk_window_set_default(GTK_WINDOW(window_), w);
  }
  for (const DialogControl& c : dialog_.controls()) textChanged(c);

  g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(window_, "set-focus", G_CALLBACK(onFocus), this);
  shownWindows()[&dialog_] = GTK_WINDOW(window_);
}

void GtkDialogView::run() {
  dialog_.setView(this);
  dialog_.initialize();
  if (!dialog_.ended()) {
    gtk_widget_show_all(window_);
    for (size_t i = 0; i < widgets_.size(); ++i)
      if (dialog_.controls()[i].id == dialog_.focus()) gtk_widget_grab_focus(widgets_[i]);
    gtk_window_present(GTK_WINDOW(window_));
    while (!dialog_.ended()) gtk_main_iteration();
  }
  dialog_.setView(nullptr);
  shownWindows().erase(&dialog_);
  gtk_widget_destroy(window_);
  while (gtk_events_pending()) gtk_main_iteration();
}

gboolean GtkDialogView::onKey(GtkWidget* window, GdkEventKey* event, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  Dialog& d = view->dialog_;
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      d.pressEnter();
      return TRUE;
    case GDK_KEY_Escape:
      d.pressEscape();
      return TRUE;
    default:
      break;
  }
  GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(window));
  if (!focused || !GTK_IS_SCALE(focused)) return FALSE;
  TrackbarKey key;
  switch (event->keyval) {
    case GDK_KEY_Left: case GDK_KEY_KP_Left: key = TrackbarKey::Left; break;
    case GDK_KEY_Right: case GDK_KEY_KP_Right: key = TrackbarKey::Right; break;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: key = TrackbarKey::Up; break;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: key = TrackbarKey::Down; break;
    case GDK_KEY_Page_Up: case GDK_KEY_KP_Page_Up: key = TrackbarKey::PageUp; break;
    case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Down: key = TrackbarKey::PageDown; break;
    case GDK_KEY_Home: case GDK_KEY_KP_Home: key = TrackbarKey::Home; break;
    case GDK_KEY_End: case GDK_KEY_KP_End: key = TrackbarKey::End; break;
    default: return FALSE;
  }
  d.pressTrackbarKey(view->idOf(focused), key);
  return TRUE;
}

gboolean GtkDialogView::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
  // Closing the window from outside is a cancel, as the dialog manager turns WM_CLOSE into.
  static_cast<GtkDialogView*>(self)->dialog_.pressEscape();
  return TRUE;
}

void GtkDialogView::onFocus(GtkWindow*, GtkWidget* widget, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (widget) view->dialog_.setFocus(view->idOf(widget));
}

void GtkDialogView::onClicked(GtkButton* button, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  view->dialog_.clickButton(view->idOf(GTK_WIDGET(button)));
}

void GtkDialogView::onValueChanged(GtkRange* range, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (view->updating_) return;
  // Only a pointer moves the GTK scale itself (keys are handled above): a thumb drag.
  view->dialog_.trackThumb(view->idOf(GTK_WIDGET(range)),
                           static_cast<int>(std::lround(gtk_range_get_value(range))));
}

gboolean GtkDialogView::onRelease(GtkWidget* widget, GdkEventButton*, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  view->dialog_.releaseThumb(view->idOf(widget));
  return FALSE;
}

gboolean GtkDialogView::onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (event->direction == GDK_SCROLL_UP || event->direction == GDK_SCROLL_LEFT)
    view->dialog_.pressTrackbarKey(view->idOf(widget), TrackbarKey::Up);
  else if (event->direction == GDK_SCROLL_DOWN || event->direction == GDK_SCROLL_RIGHT)
    view->dialog_.pressTrackbarKey(view->idOf(widget), TrackbarKey::Down);
  return TRUE;
}

}  // namespace

void runDialog(Dialog& dialog, HWND parent) {
  GtkDialogView view(dialog);
  view.build(parent);
  view.run();
}

}  // namespace vexa::ui
