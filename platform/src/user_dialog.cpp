// A dialog's controls and the messages that a user's actions send to its procedure.
#include <vexa/dialog.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <strings.h>

namespace vexa::platform {
namespace {

constexpr DWORD kTabStop = 0x00010000;
constexpr DWORD kTypeMask = 0x0F;
constexpr DWORD kDefPushButton = 0x01;
constexpr WORD kButtonClicked = 0;

std::mutex& liveLock() {
  static std::mutex lock;
  return lock;
}

std::set<const Dialog*>& liveDialogs() {
  static auto* dialogs = new std::set<const Dialog*>;
  return *dialogs;
}

bool sameClass(const std::string& name, const char* wanted) {
  return strcasecmp(name.c_str(), wanted) == 0;
}

}  // namespace

bool DialogControl::isTrackbar() const { return sameClass(className, TRACKBAR_CLASSA); }
bool DialogControl::isButton() const { return sameClass(className, "Button"); }
bool DialogControl::isStatic() const { return sameClass(className, "Static"); }
bool DialogControl::isDefaultButton() const {
  return isButton() && (style & kTypeMask) == kDefPushButton;
}

Dialog::Dialog(HINSTANCE instance, const DialogResource& resource, DLGPROC procedure,
               LPARAM initParam)
    : instance_(instance), resource_(resource), procedure_(procedure), initParam_(initParam),
      caption_(resource.caption ? resource.caption : "") {
  controls_.reserve(static_cast<size_t>(std::max(0, resource.itemCount)));
  for (int i = 0; i < resource.itemCount; ++i) {
    const DialogItemResource& item = resource.items[i];
    DialogControl c{};
    c.id = item.id;
    c.className = item.className ? item.className : "";
    c.text = item.text ? item.text : "";
    c.textOrdinal = item.textOrdinal;
    c.style = item.style;
    c.exStyle = item.exStyle;
    c.x = item.x;
    c.y = item.y;
    c.cx = item.cx;
    c.cy = item.cy;
    controls_.push_back(c);
  }
  std::lock_guard<std::mutex> hold(liveLock());
  liveDialogs().insert(this);
}

Dialog::~Dialog() {
  std::lock_guard<std::mutex> hold(liveLock());
  liveDialogs().erase(this);
}

Dialog* Dialog::fromHandle(HWND handle) {
  auto* dialog = reinterpret_cast<Dialog*>(handle);
  std::lock_guard<std::mutex> hold(liveLock());
  return liveDialogs().count(dialog) ? dialog : nullptr;
}

DialogControl* Dialog::control(int id) {
  for (DialogControl& c : controls_)
    if (c.id == id) return &c;
  return nullptr;
}

const DialogControl* Dialog::control(int id) const {
  return const_cast<Dialog*>(this)->control(id);
}

int Dialog::defaultButtonId() const {
  for (const DialogControl& c : controls_)
    if (c.isDefaultButton()) return c.id;
  return IDOK;
}

INT_PTR Dialog::send(UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure_ ? procedure_(handle(), message, wParam, lParam) : FALSE;
}

void Dialog::initialize() {
  const DialogControl* firstStop = nullptr;
  for (const DialogControl& c : controls_) {
    if (c.style & kTabStop) {
      firstStop = &c;
      break;
    }
  }
  focus_ = firstStop ? firstStop->id : 0;
  WPARAM focusHandle = firstStop ? reinterpret_cast<WPARAM>(firstStop->handle()) : 0;
  send(WM_INITDIALOG, focusHandle, initParam_);
}

void Dialog::end(INT_PTR result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

bool Dialog::setText(int id, const char* text) {
  DialogControl* c = control(id);
  if (!c) return false;
  c->text = text ? text : "";
  if (view_) view_->textChanged(*c);
  return true;
}

void Dialog::setPosition(DialogControl& c, int position) {
  c.position = std::clamp(position, c.rangeMin, std::max(c.rangeMin, c.rangeMax));
}

LRESULT Dialog::sendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogControl* c = control(id);
  if (!c || !c->isTrackbar()) return 0;
  LRESULT answer = 0;
  switch (message) {
    case TBM_GETPOS:
      return c->position;
    case TBM_SETPOS:
      setPosition(*c, static_cast<int>(lParam));
      break;
    case TBM_SETRANGE:
      c->rangeMin = static_cast<SHORT>(LOWORD(lParam));
      c->rangeMax = static_cast<SHORT>(HIWORD(lParam));
      setPosition(*c, c->position);
      break;
    case TBM_SETPAGESIZE:
      answer = c->pageSize;
      c->pageSize = static_cast<int>(lParam);
      return answer;
    case TBM_SETTICFREQ:
      c->ticFrequency = static_cast<int>(wParam);
      break;
    default:
      return 0;
  }
  if (view_) view_->trackbarChanged(*c);
  return answer;
}

void Dialog::notifyTrackbar(DialogControl& c, int code) {
  WORD position = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION)
                      ? static_cast<WORD>(c.position)
                      : 0;
  UINT message = (c.style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  send(message, MAKELONG(code, position), reinterpret_cast<LPARAM>(c.handle()));
}

void Dialog::pressTrackbarKey(int id, TrackbarKey key) {
  DialogControl* c = control(id);
  if (ended_ || !c || !c->isTrackbar()) return;
  focus_ = id;
  int code;
  int to;
  switch (key) {
    case TrackbarKey::Left:
    case TrackbarKey::Up:
      code = TB_LINEUP;
      to = c->position - c->lineSize;
      break;
    case TrackbarKey::Right:
    case TrackbarKey::Down:
      code = TB_LINEDOWN;
      to = c->position + c->lineSize;
      break;
    case TrackbarKey::PageUp:
      code = TB_PAGEUP;
      to = c->position - c->pageSize;
      break;
    case TrackbarKey::PageDown:
      code = TB_PAGEDOWN;
      to = c->position + c->pageSize;
      break;
    case TrackbarKey::Home:
      code = TB_TOP;
      to = c->rangeMin;
      break;
    default:
      code = TB_BOTTOM;
      to = c->rangeMax;
      break;
  }
  setPosition(*c, to);
  if (view_) view_->trackbarChanged(*c);
  notifyTrackbar(*c, code);
  // The key's release ends the move.
  if (!ended_) notifyTrackbar(*c, TB_ENDTRACK);
}

void Dialog::trackThumb(int id, int position) {
  DialogControl* c = control(id);
  if (ended_ || !c || !c->isTrackbar()) return;
  focus_ = id;
  int before = c->position;
  setPosition(*c, position);
  if (view_) view_->trackbarChanged(*c);
  if (c->position != before) notifyTrackbar(*c, TB_THUMBTRACK);
}

void Dialog::releaseThumb(int id) {
  DialogControl* c = control(id);
  if (ended_ || !c || !c->isTrackbar()) return;
  notifyTrackbar(*c, TB_THUMBPOSITION);
  if (!ended_) notifyTrackbar(*c, TB_ENDTRACK);
}

void Dialog::dragTrackbar(int id, int to) {
  DialogControl* c = control(id);
  if (ended_ || !c || !c->isTrackbar()) return;
  int target = std::clamp(to, c->rangeMin, std::max(c->rangeMin, c->rangeMax));
  int step = target > c->position ? 1 : -1;
  // The thumb passes every position between, as a mouse drag does.
  for (int p = c->position; p != target && !ended_;) {
    p += step;
    trackThumb(id, p);
  }
  releaseThumb(id);
}

void Dialog::pressEnter() {
  if (ended_) return;
  const DialogControl* focused = control(focus_);
  int id = (focused && focused->isButton()) ? focused->id : defaultButtonId();
  clickButton(id);
}

void Dialog::pressEscape() {
  if (ended_) return;
  const DialogControl* cancel = control(IDCANCEL);
  send(WM_COMMAND, MAKELONG(IDCANCEL, kButtonClicked),
       cancel ? reinterpret_cast<LPARAM>(cancel->handle()) : 0);
}

void Dialog::clickButton(int id) {
  if (ended_) return;
  const DialogControl* button = control(id);
  send(WM_COMMAND, MAKELONG(id, kButtonClicked),
       button ? reinterpret_cast<LPARAM>(button->handle()) : 0);
}

}  // namespace vexa::platform
