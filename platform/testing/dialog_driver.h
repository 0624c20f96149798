// Answers dialogs as a user would, without a window: while a DialogDriver is alive, every
// DialogBoxParamA in this process makes its dialog, sends WM_INITDIALOG and hands it to the
// driver's answer, which reads texts and positions and acts through the same messages that a
// real dialog and trackbar send.
#pragma once

#include <vexa/dialog.h>

#include <functional>
#include <string>

namespace vexa::testing {

using vexa::platform::TrackbarKey;

class ShownDialog {
public:
  explicit ShownDialog(vexa::platform::Dialog& dialog) : dialog_(dialog) {}

  std::string caption() const { return dialog_.caption(); }
  // The text of a control; "" for an unknown id.
  std::string text(int id) const;
  // Trackbar state; -1 for an unknown id.
  int position(int id) const;
  int rangeMin(int id) const;
  int rangeMax(int id) const;
  int pageSize(int id) const;
  int ticFrequency(int id) const;

  void pressKey(int trackbarId, TrackbarKey key) { dialog_.pressTrackbarKey(trackbarId, key); }
  void drag(int trackbarId, int to) { dialog_.dragTrackbar(trackbarId, to); }
  void pressEnter() { dialog_.pressEnter(); }
  void pressEscape() { dialog_.pressEscape(); }
  void click(int buttonId) { dialog_.clickButton(buttonId); }

  bool ended() const { return dialog_.ended(); }
  vexa::platform::Dialog& dialog() { return dialog_; }

private:
  vexa::platform::Dialog& dialog_;
};

class DialogDriver {
public:
  using Answer = std::function<void(ShownDialog&)>;
  explicit DialogDriver(Answer answer);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Dialogs answered so far.
  int shown() const { return shown_; }

private:
  Answer answer_;
  int shown_ = 0;
};

}  // namespace vexa::testing
