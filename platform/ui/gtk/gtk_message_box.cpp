// MessageBoxA as a GTK dialog: the caption in a title bar drawn by the window itself (so it
// shows with any window manager), the icon and the text side by side, and the buttons that the
// style asks for.
#include "gtk_frontend.h"

namespace vexa::ui {
namespace {

constexpr UINT kIconMask = 0xF0;
constexpr UINT kButtonMask = 0x0F;
constexpr UINT kOkCancel = 0x01;
constexpr UINT kYesNo = 0x04;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

const char* iconName(UINT type) {
  switch (type & kIconMask) {
    case MB_ICONHAND: return "dialog-error";
    case MB_ICONQUESTION: return "dialog-question";
    case MB_ICONEXCLAMATION: return "dialog-warning";
    case MB_ICONASTERISK: return "dialog-information";
    default: return nullptr;
  }
}

}  // namespace

int messageBox(const platform::MessageBoxCall& call) {
  UINT buttons = call.type & kButtonMask;
  GtkWidget* box = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(box), call.caption.c_str());
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_window_set_modal(GTK_WINDOW(box), TRUE);
  GtkWidget* header = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(header), call.caption.c_str());
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
  gtk_window_set_titlebar(GTK_WINDOW(box), header);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  if (const char* icon = iconName(call.type)) {
    GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  }
  GtkWidget* text = gtk_label_new(call.text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(text), 60);
  gtk_label_set_xalign(GTK_LABEL(text), 0.0f);
  gtk_box_pack_start(GTK_BOX(row), text, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);

  int defaultAnswer;
  if (buttons == kYesNo) {
    gtk_dialog_add_button(GTK_DIALOG(box), "_Yes", GTK_RESPONSE_YES);
    gtk_dialog_add_button(GTK_DIALOG(box), "_No", GTK_RESPONSE_NO);
    defaultAnswer = GTK_RESPONSE_YES;
  } else {
    gtk_dialog_add_button(GTK_DIALOG(box), "_OK", GTK_RESPONSE_OK);
    if (buttons == kOkCancel) gtk_dialog_add_button(GTK_DIALOG(box), "_Cancel", GTK_RESPONSE_CANCEL);
    defaultAnswer = GTK_RESPONSE_OK;
  }
  gtk_dialog_set_default_response(GTK_DIALOG(box), defaultAnswer);
  gtk_widget_show_all(box);
  if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), defaultAnswer))
    gtk_widget_grab_focus(button);

  int answer = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  while (gtk_events_pending()) gtk_main_iteration();
  switch (answer) {
    case GTK_RESPONSE_YES: return kIdYes;
    case GTK_RESPONSE_NO: return kIdNo;
    case GTK_RESPONSE_CANCEL: return IDCANCEL;
    case GTK_RESPONSE_OK: return IDOK;
    default:
      // Closed or escaped: Cancel where there is one, else the only answer there is.
      return buttons == kOkCancel ? IDCANCEL : buttons == kYesNo ? kIdNo : IDOK;
  }
}

}  // namespace vexa::ui
