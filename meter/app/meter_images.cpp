#include "meter_images.h"

#include <wx/icon.h>

#include "images/background.xpm"
#include "images/lamp_dark.xpm"
#include "images/lamp_lit.xpm"
#include "images/little_meters_icon.xpm"
#include "images/meter_lit.xpm"
#include "images/meter_unlit.xpm"
#include "images/meters_icon.xpm"
#include "images/switch_off.xpm"
#include "images/switch_on.xpm"

namespace {

const char* const* ImageData(MeterImage image) {
  switch (image) {
    case MeterImage::Background: return background_xpm;
    case MeterImage::SwitchOff: return switch_off_xpm;
    case MeterImage::SwitchOn: return switch_on_xpm;
    case MeterImage::MeterUnlit: return meter_unlit_xpm;
    case MeterImage::MeterLit: return meter_lit_xpm;
    case MeterImage::LampDark: return lamp_dark_xpm;
    case MeterImage::LampLit: return lamp_lit_xpm;
  }
  return background_xpm;
}

}  // namespace

wxBitmap* NewMeterImage(MeterImage image) { return new wxBitmap(ImageData(image)); }

wxIconBundle MeterIcons() {
  wxIconBundle icons;
  wxIcon large(meters_icon_xpm);
  if (large.IsOk()) icons.AddIcon(large);
  wxIcon small(little_meters_icon_xpm);
  if (small.IsOk()) icons.AddIcon(small);
  return icons;
}
