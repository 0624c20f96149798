// The stored settings: read once while the frame is built, written once while it is destroyed.
// Device values go back to the card at start, so it comes back as the last run left it.
#include "meter_frame.h"

#include "choice_label.h"
#include "llva_vxd_device.h"
#include "meter_errors.h"

#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#ifdef __WINDOWS__
#include <wx/config.h>
#else
#include <wx/fileconf.h>
#endif

#include <stdlib.h>

#include <memory>

namespace {

// Index = routing mode.
const char* const kRouteNames[MeterFrame::kRouteCount] = {"normal", "4x4", "converter",
                                                          "normal_mon", "4x4_mon"};

const int32_t kDefaultClipCount = 3;
const int32_t kMaxClipCount = 99;

int32_t RouteFromName(const wxString& name) {
  for (int32_t mode = 0; mode < MeterFrame::kRouteCount; ++mode)
    if (name == kRouteNames[mode]) return mode;
  return 0;
}

// The decimal number at the start of a stored clip count, brought into 1..99.
int32_t ClipCountFrom(const wxString& text) {
  // strtol saturates instead of overflowing on an absurdly long number.
  const long number = strtol(text.utf8_str(), nullptr, 10);
  if (number < 1) return kDefaultClipCount;
  if (number > kMaxClipCount) return kMaxClipCount;
  return static_cast<int32_t>(number);
}

bool IsClipBitsChoice(long bits) {
  for (int32_t i = 0; i < MeterFrame::kClipBitsCount; ++i)
    if (MeterFrame::kClipBitsTable[i] == bits) return true;
  return false;
}

// The program's own folder: an installed tree is found from it wherever it was moved.
wxString ProgramFolder() {
  return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath();
}

#ifndef __WINDOWS__
// The user's configuration folder by the XDG rules.
wxString UserConfigFolder() {
  wxString folder;
  if (wxGetEnv("XDG_CONFIG_HOME", &folder) && wxIsAbsolutePath(folder)) return folder;
  return wxGetHomeDir() + "/.config";
}

// The machine-wide file: the one the installed tree carries beside the program (in its own
// etc/xdg) when there is one, else the system's /etc/xdg.
wxString MachineConfigFile(const wxString& vendorName) {
  const wxFileName installed(ProgramFolder() + "/" VEXA_BIN_TO_SYSCONFDIR "/xdg/" + vendorName,
                             "Vexameter.conf");
  if (installed.FileExists()) return installed.GetFullPath();
  return wxFileName("/etc/xdg/" + vendorName, "Vexameter.conf").GetFullPath();
}
#endif

}  // namespace

wxConfigBase* MeterFrame::NewStore(const wxString& vendorName, bool forWriting) {
#ifdef __WINDOWS__
  (void)forWriting;
  return new wxConfig("Vexameter", vendorName);
#else
  // The file store writes its file but does not make the folder it lives in.
  const wxString folder = UserConfigFolder() + "/" + vendorName;
  if (forWriting && !wxFileName::DirExists(folder))
    wxFileName::Mkdir(folder, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  // The file form of the registry key Software\<vendor>\Vexameter: one file per vendor
  // under the user's configuration folder, backed by a machine-wide file of the same name.
  const wxFileName local(folder, "Vexameter.conf");
  return new wxFileConfig("Vexameter", vendorName, local.GetFullPath(),
                          MachineConfigFile(vendorName),
                          wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_GLOBAL_FILE);
#endif
}

void MeterFrame::LoadSettings() {
  // Absent keys and unreadable values are normal here; none of them is worth a message.
  wxLogNull quiet;
  std::unique_ptr<wxConfigBase> store(NewStore("Tarvenix", false));

  try {
    long x = 0;
    long y = 0;
    if (store->Read("pos_x", &x) && store->Read("pos_y", &y)) {
      // Negative coordinates are real positions on a multi-screen desktop, not "unchanged".
      const wxSize size = GetSize();
      SetSize(x, y, size.x, size.y, wxSIZE_ALLOW_MINUS_ONE);
    }
  } catch (const AnyError&) {
  }

  wxString helpIndex;
  if (store->Read("help_index", &helpIndex)) {
    // A relative book is the installed one, named from the program's folder.
    wxFileName book(helpIndex);
    if (book.IsRelative()) book.MakeAbsolute(ProgramFolder());
    help_->AddBook(book, false);
  }

  try {
    wxString clipCount;
    if (store->Read("clip_count", &clipCount)) clipCount_ = ClipCountFrom(clipCount);
    long bits = 0;
    if (store->Read("clip_monitor_bits", &bits) && IsClipBitsChoice(bits))
      clipMonitorBits_ = static_cast<int32_t>(bits);
  } catch (const AnyError&) {
  }

  try {
    long mode = 0;
    if (store->Read("ballistics", &mode) && (mode == 0 || mode == 1))
      SetBallistics(static_cast<int32_t>(mode));
  } catch (const AnyError&) {
  }

  if (!device_) return;

  try {
    long slaved = 0;
    if (store->Read("slave_enabled", &slaved)) {
      if (slaved != 0)
        device_->EngageSlave();
      else
        device_->DisableSlave();
      ShowSlave();
    }
  } catch (const AnyError&) {
  }

  try {
    wxString route;
    if (store->Read("routing", &route)) {
      device_->SetRoute(RouteFromName(route));
      ShowRouting();
    }
  } catch (const AnyError&) {
  }

  try {
    long rate = 0;
    if (store->Read("frequency", &rate)) device_->SetSampleRate(static_cast<LONG>(rate));
  } catch (const AnyError&) {
  }
}

void MeterFrame::SaveSettings() {
  // Without the card nothing is known about it: the last run that had one keeps its values.
  if (!device_) return;

  // Whatever was written before a failing request stays written: the store is flushed when
  // it goes, also while the failure unwinds.
  std::unique_ptr<wxConfigBase> store;
  {
    // Lines that loading ignored are kept as they are; only a failure to write is reported.
    wxLogNull quiet;
    store.reset(NewStore("Tarvenix", true));
  }
  try {
    const wxPoint position = GetPosition();
    store->Write("pos_x", static_cast<long>(position.x));
    store->Write("pos_y", static_cast<long>(position.y));
    store->Write("slave_enabled", static_cast<long>(device_->GetSlaveStatus()));
    const LONG mode = device_->GetRoute();
    if (mode >= 0 && mode < kRouteCount) store->Write("routing", wxString(kRouteNames[mode]));
    store->Write("frequency", static_cast<long>(device_->GetSampleRate()));
    store->Write("clip_count", clipCountChoice_->GetText());
    store->Write("clip_monitor_bits", static_cast<long>(clipMonitorBits_));
    store->Write("ballistics", static_cast<long>(ballisticsMode_));
  } catch (const AnyError&) {
    // The card stopped answering; the program is ending anyway and has no one to tell.
  }
  store->Flush();
}
