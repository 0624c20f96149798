// The help window that the ? button opens, its life beside the meter window, and the About box.
#include "frame_fixture.h"

#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

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

// What the screen shows of the native message box that is up: its GTK title and the X
// window's WM_NAME. Answers the box with OK once it has looked.
struct ShownBox {
  int boxes = 0;
  int looks = 0;
  std::string text;
  std::string title;
  std::string wmName;

  static gboolean Look(gpointer data) {
    auto* seen = static_cast<ShownBox*>(data);
    GtkWidget* box = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next)
      if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
        box = GTK_WIDGET(w->data);
    g_list_free(windows);
    // Generously long for a loaded machine.
    if (!box) return ++seen->looks < 400 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    ++seen->boxes;
    gchar* text = nullptr;
    g_object_get(box, "text", &text, nullptr);
    seen->text = text ? text : "";
    g_free(text);
    const gchar* title = gtk_window_get_title(GTK_WINDOW(box));
    seen->title = title ? title : "<none>";
    GdkWindow* window = gtk_widget_get_window(box);
    XTextProperty name{};
    if (XGetWMName(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window), &name) && name.value) {
      seen->wmName.assign(reinterpret_cast<const char*>(name.value), name.nitems);
      XFree(name.value);
    }
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    return G_SOURCE_REMOVE;
  }
};

// wxGTK leaves the native box's title empty for the toolkit's default caption, which is
// exactly "Message"; on the screen every box must still show it.
TEST_F(MeterFrameTest, MessageBoxesShowTheirCaptionOnTheScreen) {
  SetMeterMessageHandler(nullptr);
  card.available = false;
  ShownBox start;
  g_timeout_add(25, &ShownBox::Look, &start);
  Open();
  EXPECT_EQ(start.boxes, 1);
  EXPECT_EQ(start.text, "Vexa-o-meter: drivers are disabled, missing, or in use!");
  EXPECT_EQ(start.title, "Message");
  EXPECT_EQ(start.wmName, "Message");

  ShownBox about;
  g_timeout_add(25, &ShownBox::Look, &about);
  wxCommandEvent command(wxEVT_MENU, 2);
  command.SetEventObject(frame);
  frame->GetEventHandler()->ProcessEvent(command);
  EXPECT_EQ(about.boxes, 1);
  EXPECT_EQ(about.text, "This is the Vexa-o-meter");
  EXPECT_EQ(about.title, "Message");
  EXPECT_EQ(about.wmName, "Message");
}

}  // namespace
