// The window's images and icons, built from the XPM data compiled into the program.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

enum class MeterImage {
  Background,  // 230 x 262, the whole panel
  SwitchOff,   // 123 x 19, S/PDIF Slave up
  SwitchOn,    // 123 x 19, S/PDIF Slave down
  MeterUnlit,  // 9 x 176, 35 cells of 5 pixels
  MeterLit,
  LampDark,  // 9 x 9
  LampLit,
};

// A new bitmap that the caller owns.
wxBitmap* NewMeterImage(MeterImage image);

// "MetersIcon" (32 x 32) and "LittleMetersIcon" (16 x 16).
wxIconBundle MeterIcons();
