#include "meter_message.h"

#include <wx/msgdlg.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace {

MeterMessageHandler replacement = nullptr;

const char kCaption[] = "Message";

#ifdef __WXGTK__
// wxGTK leaves the title of its native message box empty when the caption is the toolkit's
// default text, and "Message" is exactly that text, so GTK would show no caption at all. While
// one of our boxes is up, a message dialog that GTK shows without a title is given it.
gboolean GiveCaption(GSignalInvocationHint*, guint count, const GValue* values, gpointer) {
  if (count == 0 || !G_VALUE_HOLDS_OBJECT(&values[0])) return TRUE;
  auto* shown = static_cast<GObject*>(g_value_get_object(&values[0]));
  if (GTK_IS_MESSAGE_DIALOG(shown)) {
    const gchar* title = gtk_window_get_title(GTK_WINDOW(shown));
    if (title == nullptr || *title == '\0') gtk_window_set_title(GTK_WINDOW(shown), kCaption);
  }
  return TRUE;  // stay hooked until the box is gone
}

class CaptionForNativeBoxes {
public:
  CaptionForNativeBoxes() {
    // The signal exists once the widget classes do; they may not before the first box.
    dialogClass_ = g_type_class_ref(GTK_TYPE_MESSAGE_DIALOG);
    signal_ = g_signal_lookup("show", GTK_TYPE_WIDGET);
    hook_ = g_signal_add_emission_hook(signal_, 0, GiveCaption, nullptr, nullptr);
  }
  ~CaptionForNativeBoxes() {
    g_signal_remove_emission_hook(signal_, hook_);
    g_type_class_unref(dialogClass_);
  }
  CaptionForNativeBoxes(const CaptionForNativeBoxes&) = delete;
  CaptionForNativeBoxes& operator=(const CaptionForNativeBoxes&) = delete;

private:
  gpointer dialogClass_;
  guint signal_;
  gulong hook_;
};
#else
struct CaptionForNativeBoxes {};
#endif

}  // namespace

void SetMeterMessageHandler(MeterMessageHandler handler) { replacement = handler; }

void ShowMeterMessage(const wxString& text) {
  if (replacement) {
    replacement(text);
    return;
  }
  const CaptionForNativeBoxes caption;
  wxMessageDialog box(nullptr, text, kCaption, wxOK | wxCENTRE);
  box.ShowModal();
}
