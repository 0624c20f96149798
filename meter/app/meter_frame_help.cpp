// Help and About. The help book is not part of the program: the settings name it (help_index)
// and the toolkit's HTML help controller shows it in a window of its own.
#include "meter_frame.h"

#include "meter_message.h"

#include <wx/confbase.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/log.h>

namespace {

// A tool bar and the contents page; no index, search, bookmarks or printing.
const int kHelpStyle = wxHF_TOOLBAR | wxHF_CONTENTS;

const char kReferencePage[] = "Vexa-o-meter Reference";

}  // namespace

void MeterFrame::CreateHelp() {
  help_ = new wxHtmlHelpController(kHelpStyle);
  // The help window keeps its own placement and options, apart from the meter's settings.
  // Unreadable values there are the toolkit's defaults, not a matter for a message.
  wxLogNull quiet;
  helpStore_ = NewStore("wxHtmlHelp", true);
  help_->UseConfig(helpStore_, wxEmptyString);
}

void MeterFrame::ShowHelp() {
  // The controller makes its window on the first call and brings the same one back later.
  help_->Display(kReferencePage);
}

void MeterFrame::OnAbout(wxCommandEvent&) { ShowMeterMessage("This is the Vexa-o-meter"); }

void MeterFrame::CloseHelp() {
  if (help_) {
    if (wxHtmlHelpFrame* window = help_->GetFrame()) window->Close(false);
    // The controller writes its window settings to its store as it goes.
    delete help_;
    help_ = nullptr;
  }
  delete helpStore_;
  helpStore_ = nullptr;
}
