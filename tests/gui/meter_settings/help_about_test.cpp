// The help window that the ? button opens, its life beside the meter window, and the About box.
#include "frame_fixture.h"

#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

namespace {

const int kHelpX = 127;
const int kHelpY = 18;

class HelpTest : public MeterFrameTest {
protected:
  void OpenWithBook() {
    WriteStore("help_index=" VEXA_HELP_BOOK "\n");
    Open();
  }
  wxString OpenedPage() {
    wxHtmlHelpWindow* window = MeterFrameProbe(frame).Help()->GetHelpWindow();
    return window ? window->GetHtmlWindow()->GetOpenedPage() : wxString("<no window>");
  }
};

TEST_F(HelpTest, HelpButtonTwiceGivesOneWindowAtTheReference) {
  OpenWithBook();
  EXPECT_TRUE(HelpWindows().empty());
  Click(frame, kHelpX, kHelpY);
  Settle();
  ASSERT_EQ(HelpWindows().size(), 1u);
  wxHtmlHelpFrame* first = HelpWindows()[0];
  EXPECT_EQ(first->GetTitle(), "Help: Vexa-o-meter Reference");
  EXPECT_TRUE(OpenedPage().EndsWith("/index.html")) << OpenedPage();

  Click(frame, kHelpX, kHelpY);
  Settle();
  ASSERT_EQ(HelpWindows().size(), 1u);
  EXPECT_EQ(HelpWindows()[0], first);
  EXPECT_TRUE(first->IsShown());
  EXPECT_TRUE(messages.empty());
}

TEST_F(HelpTest, ClosingTheMeterClosesTheHelpWindowAndKeepsItsPlacement) {
  OpenWithBook();
  frame->ShowHelp();
  ASSERT_EQ(HelpWindows().size(), 1u);
  HelpWindows()[0]->SetSize(640, 480);
  Close(frame);
  EXPECT_TRUE(HelpWindows().empty());
  // The help window keeps its placement in a store of its own, not in the meter's.
  EXPECT_EQ(StoreValues("wxHtmlHelp")["hcW"], "640");
  EXPECT_EQ(StoreValues().count("hcW"), 0u);

  Open();
  frame->ShowHelp();
  ASSERT_EQ(HelpWindows().size(), 1u);
  EXPECT_EQ(HelpWindows()[0]->GetSize(), wxSize(640, 480));
}

TEST_F(HelpTest, WithoutAReadableBookTheHelpWindowOpensEmpty) {
  for (const char* store : {"clip_count=3\n", "help_index=/nonexistent/vexameter.hhp\n"}) {
    SCOPED_TRACE(store);
    WriteStore(store);
    ASSERT_NO_THROW(Open());
    frame->ShowHelp();
    Settle();
    EXPECT_EQ(HelpWindows().size(), 1u);
    EXPECT_EQ(OpenedPage(), "");
    EXPECT_TRUE(messages.empty());
    Close(frame);
    EXPECT_TRUE(HelpWindows().empty());
  }
}

// Answers every modal dialog with OK and keeps what it showed.
class DialogRecorder : public wxModalDialogHook {
public:
  DialogRecorder() { Register(); }
  ~DialogRecorder() override { Unregister(); }
  int Enter(wxDialog* dialog) override {
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
      text = box->GetMessage().ToStdString();
      caption = box->GetCaption().ToStdString();
      style = box->GetMessageDialogStyle();
      parent = dialog->GetParent();
    }
    ++shown;
    return wxID_OK;
  }
  int shown = 0;
  std::string text;
  std::string caption;
  long style = 0;
  wxWindow* parent = reinterpret_cast<wxWindow*>(1);
};

TEST_F(MeterFrameTest, AboutCommandShowsTheAboutBox) {
  Open();
  SetMeterMessageHandler(nullptr);
  DialogRecorder recorder;
  wxCommandEvent about(wxEVT_MENU, 2);
  about.SetEventObject(frame);
  frame->GetEventHandler()->ProcessEvent(about);
  EXPECT_EQ(recorder.shown, 1);
  EXPECT_EQ(recorder.text, "This is the Vexa-o-meter");
  EXPECT_EQ(recorder.caption, "Message");
  EXPECT_TRUE(recorder.style & wxOK);
  EXPECT_TRUE(recorder.style & wxCENTRE);
  EXPECT_EQ(recorder.parent, nullptr);
}

}  // namespace
