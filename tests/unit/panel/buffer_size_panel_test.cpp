// The buffer-size panel answered through the dialog driver, against a private registry.
#include "buffer_size_panel.h"
#include "settings_key.h"

#include <dialog_driver.h>
#include <private_registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using vexa::testing::DialogDriver;
using vexa::testing::ShownDialog;
using vexa::testing::TrackbarKey;

namespace {

constexpr int kSlider = IDC_BUFFER_SIZE_SLIDER;
constexpr int kLabel = IDC_BUFFER_SIZE_LABEL;

class BufferSizePanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Headless, even when the whole suite runs under a display.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }

  void store(DWORD frames, const char* key = ASIO_SETTINGS_KEY) {
    SettingsKey(key).writeBufferSize(frames);
  }
  DWORD stored(const char* key = ASIO_SETTINGS_KEY) { return SettingsKey(key).readBufferSize(); }
  bool valuePresent(const char* key = ASIO_SETTINGS_KEY) {
    SettingsKey settings(key);
    DWORD size = 0;
    return settings.hkey &&
           RegQueryValueExA(settings.hkey, "BufferSize", nullptr, nullptr, nullptr, &size) ==
               ERROR_SUCCESS;
  }

  // Runs a panel whose dialog the answer handles; returns the panel's chosen size.
  DWORD runPanel(DWORD base, DialogDriver::Answer answer, const char* key = ASIO_SETTINGS_KEY) {
    DialogDriver driver(std::move(answer));
    BufferSizePanel panel;
    panel.run(instance, nullptr, base, key);
    shown = driver.shown();
    return panel.chosenSize;
  }

  vexa::testing::PrivateRegistry registry;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  int shown = 0;
};

TEST_F(BufferSizePanelTest, StartsAtTheSmallestStepHoldingTheStoredSize) {
  struct Case {
    DWORD stored;
    int position;
    const char* label;
  };
  const Case cases[] = {
      {8192, 8, "8192 samples"}, {100, 2, "128 samples"},  {100000, 8, "8192 samples"},
      {0, 0, "32 samples"},      {20, 0, "32 samples"},    {32, 0, "32 samples"},
      {33, 1, "64 samples"},     {4096, 7, "4096 samples"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stored " + std::to_string(c.stored));
    store(c.stored);
    int position = -1;
    std::string label;
    runPanel(32, [&](ShownDialog& d) {
      position = d.position(kSlider);
      label = d.text(kLabel);
      EXPECT_EQ(d.rangeMin(kSlider), 0);
      EXPECT_EQ(d.rangeMax(kSlider), 8);
      EXPECT_EQ(d.pageSize(kSlider), 1);
      EXPECT_EQ(d.ticFrequency(kSlider), 1);
      d.pressEscape();
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(label, c.label);
  }
}

TEST_F(BufferSizePanelTest, StoredValueOfAnotherTypeOrSizeStartsAtTheLastStep) {
  SettingsKey key(ASIO_SETTINGS_KEY);
  ASSERT_NE(key.hkey, nullptr);
  const char text[] = "100";
  const BYTE twoBytes[2] = {100, 0};
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    if (variant == 0)
      RegSetValueExA(key.hkey, "BufferSize", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    else if (variant == 1)
      RegSetValueExA(key.hkey, "BufferSize", 0, REG_BINARY, twoBytes, sizeof twoBytes);
    else
      RegSetValueExA(key.hkey, "BufferSize", 0, REG_BINARY, twoBytes, 0);
    int position = -1;
    runPanel(32, [&](ShownDialog& d) {
      position = d.position(kSlider);
      d.pressEscape();
    });
    EXPECT_EQ(position, 8);
  }
}

TEST_F(BufferSizePanelTest, LabelFollowsEveryKindOfTrackbarMove) {
  store(256);  // position 3
  runPanel(32, [&](ShownDialog& d) {
    EXPECT_EQ(d.text(kLabel), "256 samples");
    d.pressKey(kSlider, TrackbarKey::Right);
    EXPECT_EQ(d.text(kLabel), "512 samples");
    d.pressKey(kSlider, TrackbarKey::Left);
    d.pressKey(kSlider, TrackbarKey::Left);
    EXPECT_EQ(d.text(kLabel), "128 samples");
    d.pressKey(kSlider, TrackbarKey::PageDown);
    EXPECT_EQ(d.text(kLabel), "256 samples");
    d.pressKey(kSlider, TrackbarKey::PageUp);
    EXPECT_EQ(d.text(kLabel), "128 samples");
    d.pressKey(kSlider, TrackbarKey::End);
    EXPECT_EQ(d.text(kLabel), "8192 samples");
    d.pressKey(kSlider, TrackbarKey::Right);  // already at the end
    EXPECT_EQ(d.position(kSlider), 8);
    EXPECT_EQ(d.text(kLabel), "8192 samples");
    d.pressKey(kSlider, TrackbarKey::Home);
    EXPECT_EQ(d.text(kLabel), "32 samples");

    // A drag shows each size while the thumb moves, before the button is released.
    d.dialog().trackThumb(kSlider, 6);
    EXPECT_EQ(d.text(kLabel), "2048 samples");
    d.dialog().releaseThumb(kSlider);
    EXPECT_EQ(d.text(kLabel), "2048 samples");
    d.drag(kSlider, 1);
    EXPECT_EQ(d.text(kLabel), "64 samples");

    // Line and page notifications alone leave the label for their TB_ENDTRACK.
    HWND dialog = d.dialog().handle();
    HWND slider = d.dialog().control(kSlider)->handle();
    SendDlgItemMessageA(dialog, kSlider, TBM_SETPOS, TRUE, 7);
    for (int code : {TB_LINEUP, TB_LINEDOWN, TB_PAGEUP, TB_PAGEDOWN, TB_TOP, TB_BOTTOM}) {
      EXPECT_EQ(bufferSizePanelProc(dialog, WM_HSCROLL, code, reinterpret_cast<LPARAM>(slider)), TRUE);
      EXPECT_EQ(d.text(kLabel), "64 samples");
    }
    EXPECT_EQ(bufferSizePanelProc(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider)), FALSE);
    EXPECT_EQ(d.text(kLabel), "4096 samples");
    d.pressEscape();
  });
}

TEST_F(BufferSizePanelTest, DoneStoresTheBaseTimesTwoToThePosition) {
  store(100);
  EXPECT_EQ(runPanel(32, [](ShownDialog& d) { d.pressEnter(); }), 128u);
  EXPECT_EQ(stored(), 128u);

  store(100000);
  EXPECT_EQ(runPanel(32, [](ShownDialog& d) { d.click(IDOK); }), 8192u);
  EXPECT_EQ(stored(), 8192u);

  EXPECT_EQ(runPanel(48, [](ShownDialog& d) {
              d.drag(kSlider, 0);
              d.pressEnter();
            }),
            48u);
  EXPECT_EQ(stored(), 48u);

  // The EASI panel writes the EASI key only.
  store(512);
  store(1024, EASI_SETTINGS_KEY);
  EXPECT_EQ(runPanel(32, [](ShownDialog& d) {
              d.pressKey(kSlider, TrackbarKey::Right);
              d.pressEnter();
            }, EASI_SETTINGS_KEY),
            2048u);
  EXPECT_EQ(stored(EASI_SETTINGS_KEY), 2048u);
  EXPECT_EQ(stored(), 512u);
}

TEST_F(BufferSizePanelTest, EscapeStoresNothing) {
  store(100);
  EXPECT_EQ(runPanel(32, [](ShownDialog& d) {
              d.pressKey(kSlider, TrackbarKey::Right);
              d.pressEscape();
            }),
            0u);
  EXPECT_EQ(stored(), 100u);
}

TEST_F(BufferSizePanelTest, BaseZeroShowsZeroAndDoneStoresNothing) {
  store(256);
  std::string label;
  EXPECT_EQ(runPanel(0, [&](ShownDialog& d) {
              label = d.text(kLabel);
              d.pressKey(kSlider, TrackbarKey::Left);
              EXPECT_EQ(d.text(kLabel), "0 samples");
              d.pressEnter();
            }),
            0u);
  EXPECT_EQ(label, "0 samples");
  EXPECT_EQ(stored(), 256u);

  // Nor is a value created where there was none.
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, ASIO_SETTINGS_KEY);
  runPanel(0, [](ShownDialog& d) { d.pressEnter(); });
  EXPECT_FALSE(valuePresent());
}

TEST_F(BufferSizePanelTest, WithoutADisplayTheDialogFailsAndNothingIsStored) {
  store(100);
  BufferSizePanel panel;
  panel.run(instance, nullptr, 32, ASIO_SETTINGS_KEY);
  EXPECT_EQ(panel.chosenSize, 0u);
  EXPECT_EQ(stored(), 100u);
  EXPECT_EQ(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BUFFER_SIZE_PANEL), nullptr,
                            bufferSizePanelProc, 0),
            -1);
}

TEST_F(BufferSizePanelTest, CurrentPanelIsSetWhileRunningAndClearedWhenDestroyed) {
  const BufferSizePanel* during = nullptr;
  std::string keyDuring;
  {
    DialogDriver driver([&](ShownDialog& d) {
      during = BufferSizePanel::current;
      keyDuring = BufferSizePanel::current ? BufferSizePanel::current->keyPath : "";
      d.pressEscape();
    });
    BufferSizePanel panel;
    char key[] = ASIO_SETTINGS_KEY;
    panel.run(instance, nullptr, 32, key);
    key[0] = 'X';  // the panel keeps its own copy
    EXPECT_STREQ(panel.keyPath, ASIO_SETTINGS_KEY);
    EXPECT_EQ(during, &panel);
    EXPECT_EQ(BufferSizePanel::current, &panel);
  }
  EXPECT_EQ(keyDuring, ASIO_SETTINGS_KEY);
  EXPECT_EQ(BufferSizePanel::current, nullptr);

  // Destroying a panel that is not the current one leaves the current one alone.
  BufferSizePanel shownPanel;
  {
    DialogDriver driver([](ShownDialog& d) { d.pressEscape(); });
    shownPanel.run(instance, nullptr, 32, ASIO_SETTINGS_KEY);
  }
  { BufferSizePanel other; }
  EXPECT_EQ(BufferSizePanel::current, &shownPanel);
}

TEST_F(BufferSizePanelTest, StepsDoNotWrapForALargeBase) {
  EXPECT_EQ(bufferSizeStep(32, 0), 32u);
  EXPECT_EQ(bufferSizeStep(32, 8), 8192u);
  EXPECT_EQ(bufferSizeStep(0x01000000, 8), 0xFFFFFFFFu);
  store(0x02000000);
  int position = -1;
  runPanel(0x01000000, [&](ShownDialog& d) {
    position = d.position(kSlider);
    d.pressEscape();
  });
  EXPECT_EQ(position, 1);
}

}  // namespace
