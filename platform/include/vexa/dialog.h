// The dialog manager behind DialogBoxParamA: a dialog made from a module's template, the state
// of its controls, and the messages a user's actions produce, in the order a real dialog and
// trackbar send them. A front-end (GTK 3 on a display, or a test's dialog driver) shows it and
// turns what the user does into these actions.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vexa/resource_table.h>

#include <functional>
#include <string>
#include <vector>

namespace vexa::platform {

struct DialogControl {
  int id;
  std::string className;
  std::string text;
  int textOrdinal;  // resource number named as the text (a static's bitmap), -1 otherwise
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units

  // Trackbar state, with a fresh trackbar's defaults.
  int rangeMin = 0;
  int rangeMax = 100;
  int position = 0;
  int lineSize = 1;
  int pageSize = 20;
  int ticFrequency = 1;

  bool isTrackbar() const;
  bool isButton() const;
  bool isDefaultButton() const;
  bool isStatic() const;
  DWORD staticKind() const { return style & 0x1F; }  // SS_CENTER, SS_BITMAP, SS_ETCHEDHORZ, ...
  HWND handle() const { return reinterpret_cast<HWND>(const_cast<DialogControl*>(this)); }
};

// Keys a trackbar handles itself.
enum class TrackbarKey { Left, Right, Up, Down, PageUp, PageDown, Home, End };

// A front-end's view of one dialog: told when the procedure changes a control.
class DialogView {
public:
  virtual ~DialogView() = default;
  virtual void textChanged(const DialogControl& control) = 0;
  virtual void trackbarChanged(const DialogControl& control) = 0;
};

class DECLSPEC_EXPORT Dialog {
public:
  Dialog(HINSTANCE instance, const DialogResource& resource, DLGPROC procedure, LPARAM initParam);
  ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  HWND handle() const { return reinterpret_cast<HWND>(const_cast<Dialog*>(this)); }
  // The live dialog behind a handle; null for anything else.
  static Dialog* fromHandle(HWND handle);

  // Sends WM_INITDIALOG. Afterwards focus() is the first tab stop unless the procedure set it.
  void initialize();

  // A user's actions, each sent as the messages a real dialog and trackbar send.
  void pressTrackbarKey(int id, TrackbarKey key);        // line/page/top/bottom, then TB_ENDTRACK
  void dragTrackbar(int id, int to);                     // whole drag: track, position, end
  void trackThumb(int id, int position);                 // one step of a drag: TB_THUMBTRACK
  void releaseThumb(int id);                             // TB_THUMBPOSITION then TB_ENDTRACK
  void pressEnter();                                     // the default button's command
  void pressEscape();                                    // command IDCANCEL
  void clickButton(int id);                              // the button's command

  // Messages into the procedure and into controls.
  INT_PTR send(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT sendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam);
  bool setText(int id, const char* text);

  void end(INT_PTR result);
  bool ended() const { return ended_; }
  INT_PTR result() const { return result_; }

  HINSTANCE instance() const { return instance_; }
  const DialogResource& resource() const { return resource_; }
  const std::string& caption() const { return caption_; }
  std::vector<DialogControl>& controls() { return controls_; }
  const std::vector<DialogControl>& controls() const { return controls_; }
  DialogControl* control(int id);
  const DialogControl* control(int id) const;
  int defaultButtonId() const;
  int focus() const { return focus_; }
  void setFocus(int id) { focus_ = id; }
  void setView(DialogView* view) { view_ = view; }

private:
  void notifyTrackbar(DialogControl& control, int code);
  void setPosition(DialogControl& control, int position);

  HINSTANCE instance_;
  const DialogResource& resource_;
  DLGPROC procedure_;
  LPARAM initParam_;
  std::string caption_;
  std::vector<DialogControl> controls_;
  DialogView* view_ = nullptr;
  int focus_ = 0;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

// Test hooks. While a dialog answerer is set, DialogBoxParamA makes the dialog, sends
// WM_INITDIALOG and hands it to the answerer instead of showing a window; a dialog the answerer
// leaves open ends with -1. While a message-box answerer is set it takes every MessageBoxA.
using DialogAnswerer = std::function<void(Dialog&)>;
using MessageBoxAnswerer = std::function<int(const MessageBoxCall&)>;
DECLSPEC_EXPORT void setDialogAnswerer(DialogAnswerer answerer);
DECLSPEC_EXPORT void setMessageBoxAnswerer(MessageBoxAnswerer answerer);

// The GTK front-end library exports vexa_ui_frontend() returning this.
struct UiFrontend {
  // Connects to the display; false when there is none.
  bool (*start)();
  // Shows the dialog modally over parent (one of our dialogs, or null) until it ends.
  void (*runDialog)(Dialog& dialog, HWND parent);
  int (*messageBox)(const MessageBoxCall& call);
};

}  // namespace vexa::platform

extern "C" DECLSPEC_EXPORT const vexa::platform::UiFrontend* vexa_ui_frontend();
