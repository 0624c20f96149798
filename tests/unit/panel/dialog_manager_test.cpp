// The dialog manager behind DialogBoxParamA: the messages a user's actions send, trackbar
// messages, bad handles, and the calls without a display.
#include "buffer_size_panel.h"

#include <dialog_driver.h>
#include <message_box_capture.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using vexa::testing::DialogDriver;
using vexa::testing::ShownDialog;
using vexa::testing::TrackbarKey;

namespace {

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Message&) const = default;
};

std::vector<Message> received;
INT_PTR initResult = TRUE;
INT_PTR endInInit = 0;  // ends the dialog from WM_INITDIALOG when non-zero

INT_PTR CALLBACK recordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({message, wParam, lParam});
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_SETRANGE, FALSE, MAKELONG(0, 8));
    if (endInInit) EndDialog(dialog, endInInit);
    return initResult;
  }
  if (message == WM_COMMAND) EndDialog(dialog, 100 + LOWORD(wParam));
  return FALSE;
}

class DialogManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    received.clear();
    endInInit = 0;
  }

  INT_PTR show(DialogDriver::Answer answer, LPARAM initParam = 0) {
    DialogDriver driver(std::move(answer));
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BUFFER_SIZE_PANEL), nullptr,
                                     recordingProc, initParam);
    shown = driver.shown();
    return result;
  }

  // The WM_HSCROLL messages received, as (code, position) pairs.
  std::vector<std::pair<int, int>> scrolls(HWND slider) {
    std::vector<std::pair<int, int>> out;
    for (const Message& m : received) {
      if (m.message != WM_HSCROLL) continue;
      EXPECT_EQ(m.lParam, reinterpret_cast<LPARAM>(slider));
      out.emplace_back(LOWORD(m.wParam), HIWORD(m.wParam));
    }
    return out;
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  int shown = 0;
};

TEST_F(DialogManagerTest, InitDialogComesFirstWithTheFocusControlAndTheParameter) {
  HWND slider = nullptr;
  EXPECT_EQ(show([&](ShownDialog& d) {
              slider = d.dialog().control(IDC_BUFFER_SIZE_SLIDER)->handle();
              EXPECT_EQ(d.dialog().focus(), IDC_BUFFER_SIZE_SLIDER);  // the first tab stop
              d.pressEscape();
            }, 1234),
            100 + IDCANCEL);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), (Message{WM_INITDIALOG, reinterpret_cast<WPARAM>(slider), 1234}));
}

TEST_F(DialogManagerTest, TrackbarSendsTheNotificationsOfARealOne) {
  HWND slider = nullptr;
  show([&](ShownDialog& d) {
    slider = d.dialog().control(IDC_BUFFER_SIZE_SLIDER)->handle();
    SendDlgItemMessageA(d.dialog().handle(), IDC_BUFFER_SIZE_SLIDER, TBM_SETPAGESIZE, 0, 3);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::Right);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::Left);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::PageDown);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::PageUp);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::End);
    d.pressKey(IDC_BUFFER_SIZE_SLIDER, TrackbarKey::Home);
    d.drag(IDC_BUFFER_SIZE_SLIDER, 2);
    d.drag(IDC_BUFFER_SIZE_SLIDER, 1);
    d.pressEscape();
  });
  std::vector<std::pair<int, int>> expected = {
      {TB_LINEDOWN, 0},      {TB_ENDTRACK, 0}, {TB_LINEUP, 0},     {TB_ENDTRACK, 0},
      {TB_PAGEDOWN, 0},      {TB_ENDTRACK, 0}, {TB_PAGEUP, 0},     {TB_ENDTRACK, 0},
      {TB_BOTTOM, 0},        {TB_ENDTRACK, 0}, {TB_TOP, 0},        {TB_ENDTRACK, 0},
      {TB_THUMBTRACK, 1},    {TB_THUMBTRACK, 2}, {TB_THUMBPOSITION, 2}, {TB_ENDTRACK, 0},
      {TB_THUMBTRACK, 1},    {TB_THUMBPOSITION, 1}, {TB_ENDTRACK, 0},
  };
  EXPECT_EQ(scrolls(slider), expected);
}

TEST_F(DialogManagerTest, EnterPressesTheDefaultButtonAndEscapeCancels) {
  EXPECT_EQ(show([](ShownDialog& d) { d.pressEnter(); }), 100 + IDOK);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back().message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(received.back().wParam), IDOK);

  received.clear();
  EXPECT_EQ(show([](ShownDialog& d) { d.pressEscape(); }), 100 + IDCANCEL);
  EXPECT_EQ(LOWORD(received.back().wParam), IDCANCEL);
}

TEST_F(DialogManagerTest, TrackbarMessagesKeepThePositionInRange) {
  show([](ShownDialog& d) {
    HWND dialog = d.dialog().handle();
    const int id = IDC_BUFFER_SIZE_SLIDER;
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, 12);
    EXPECT_EQ(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0), 8);
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, -3);
    EXPECT_EQ(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0), 0);
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, 7);
    SendDlgItemMessageA(dialog, id, TBM_SETRANGE, TRUE, MAKELONG(0, 4));
    EXPECT_EQ(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0), 4);
    EXPECT_EQ(SendDlgItemMessageA(dialog, id, TBM_SETPAGESIZE, 0, 2), 20);  // the previous size
    EXPECT_EQ(SendDlgItemMessageA(dialog, id, TBM_SETPAGESIZE, 0, 1), 2);
    d.drag(id, 9);
    EXPECT_EQ(d.position(id), 4);
    // Messages a static does not know, and unknown ids, answer 0.
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_LABEL, TBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 999, TBM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(SetDlgItemTextA(dialog, 999, "x"));
    EXPECT_TRUE(SetDlgItemTextA(dialog, IDC_BUFFER_SIZE_LABEL, nullptr));
    EXPECT_EQ(d.text(IDC_BUFFER_SIZE_LABEL), "");
    d.pressEscape();
  });
}

TEST_F(DialogManagerTest, HandlesThatAreNotDialogsAreRefused) {
  int local = 0;
  HWND bogus = reinterpret_cast<HWND>(&local);
  EXPECT_FALSE(EndDialog(bogus, 1));
  EXPECT_FALSE(EndDialog(nullptr, 1));
  EXPECT_EQ(SendDlgItemMessageA(bogus, IDC_BUFFER_SIZE_SLIDER, TBM_GETPOS, 0, 0), 0);
  EXPECT_FALSE(SetDlgItemTextA(nullptr, IDC_BUFFER_SIZE_LABEL, "x"));

  // A dialog's handle is no longer valid once the dialog has gone.
  HWND gone = nullptr;
  show([&](ShownDialog& d) {
    gone = d.dialog().handle();
    d.pressEscape();
  });
  EXPECT_FALSE(EndDialog(gone, 1));
}

TEST_F(DialogManagerTest, UnknownTemplatesAndModulesFail) {
  DialogDriver driver([](ShownDialog& d) { d.pressEscape(); });
  EXPECT_EQ(DialogBoxParamA(instance, MAKEINTRESOURCEA(77), nullptr, recordingProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(instance, "PANEL", nullptr, recordingProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(instance, "#x", nullptr, recordingProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, nullptr, 0), -1);
  // The platform library carries no resources.
  HMODULE platform = vexa::platform::moduleOfAddress(reinterpret_cast<const void*>(&EndDialog));
  EXPECT_EQ(DialogBoxParamA(platform, MAKEINTRESOURCEA(1), nullptr, recordingProc, 0), -1);
  EXPECT_EQ(driver.shown(), 0);
  // "#1" names the same template as MAKEINTRESOURCE(1); a null instance is the program.
  EXPECT_EQ(DialogBoxParamA(instance, "#1", nullptr, recordingProc, 0), 100 + IDCANCEL);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(1), nullptr, recordingProc, 0), 100 + IDCANCEL);
}

TEST_F(DialogManagerTest, DialogEndedDuringInitIsNeverShownAndOpenDialogsFail) {
  endInInit = 42;
  EXPECT_EQ(show([](ShownDialog& d) { d.pressEscape(); }), 42);
  EXPECT_EQ(shown, 0);
  endInInit = 0;
  // An answer that walks away leaves no dialog hanging.
  EXPECT_EQ(show([](ShownDialog&) {}), -1);
}

TEST_F(DialogManagerTest, MessageBoxWithoutADisplayGoesToStandardError) {
  ::testing::internal::CaptureStderr();
  int answer = MessageBoxA(nullptr, "Driver version mismatch", "TX ASIO 2 Control Panel (standalone)",
                           MB_OK | MB_ICONERROR);
  int nullAnswer = MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(nullAnswer, IDOK);
  EXPECT_EQ(err, "TX ASIO 2 Control Panel (standalone): Driver version mismatch\nError: \n");
}

TEST_F(DialogManagerTest, MessageBoxCaptureRecordsEveryCall) {
  vexa::testing::MessageBoxCapture capture;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  auto calls = capture.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "text");
  EXPECT_EQ(calls[0].caption, "caption");
  EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(calls[0].owner, nullptr);
}

}  // namespace
