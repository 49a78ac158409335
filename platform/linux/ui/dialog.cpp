// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/dialog.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/linux/ui/display.h"
#include "platform/linux/ui/message_loop.h"
#include "platform/linux/ui/picture.h"
#include "platform/linux/ui/timers.h"
#include "platform/linux/ui/top_window.h"
#include "platform/linux/ui/trace.h"

namespace ui {

// The dialog's FLTK window: turns the keys the platform's dialog manager
// handles, and the title bar's close button, into the dialog's messages.
class DialogWindow : public TopWindow {
 public:
  DialogWindow(Dialog& dialog, int w, int h);
  int handle(int event) override;
  // FLTK's word that the window moved: the dialog measures its frame.
  void resize(int x, int y, int w, int h) override;

 protected:
  void OnEnter() override;
  void OnDestroyedElsewhere() override;

 private:
  static void OnCallback(Fl_Widget* window, void* data);
  Dialog& dialog_;
};

DialogWindow::DialogWindow(Dialog& dialog, int w, int h) : TopWindow(w, h), dialog_(dialog) {
  callback(OnCallback, &dialog);
}

// Tab with no control focused (the focused one was disabled) goes to the
// first tab stop, or with Shift to the last.
int DialogWindow::handle(int event) {
  if (event == FL_KEYBOARD && Fl::event_key() == FL_Tab && Fl::focus() == this) {
    dialog_.FocusTabStop(Fl::event_shift() != 0);
    return 1;
  }
  // FLTK hands a window's own focus down to some child whenever a control
  // is enabled; the focus stays where it is instead.
  if (event == FL_FOCUS && Fl::focus() == this) return 1;
  return TopWindow::handle(event);
}

void DialogWindow::OnEnter() { dialog_.PressDefault(); }

void DialogWindow::resize(int x, int y, int w, int h) {
  TopWindow::resize(x, y, w, h);
  dialog_.NoteMoved();
}

void DialogWindow::OnDestroyedElsewhere() { CloseWithoutDisplay(); }

// FLTK calls the window's callback for Esc and for the close button, and
// would hide the window; the dialog decides instead. Esc is IDCANCEL; the
// close button is WM_CLOSE. Neither closes anything by itself: only
// EndDialog ends the dialog.
void DialogWindow::OnCallback(Fl_Widget*, void* data) {
  Dialog& dialog = *static_cast<Dialog*>(data);
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
    dialog.Command(IDCANCEL, BN_CLICKED, nullptr);
  else
    dialog.Handle(WM_CLOSE, 0, 0);
}

namespace {

// A template without DS_SETFONT uses the platform's 8-point system font;
// the dialog face stands in for it too.
constexpr int DefaultPoints = 8;

DialogFont FontOf(const resources::DialogTemplate& dialogTemplate) {
  bool hasFont = (dialogTemplate.style & DS_SETFONT) && dialogTemplate.pointSize > 0;
  return OpenDialogFont(hasFont ? dialogTemplate.pointSize : DefaultPoints);
}

}  // namespace

std::vector<Dialog*> Dialog::Live() {
  std::vector<Dialog*> dialogs;
  for (WindowRecord* record : LiveWindows())
    if (auto* dialog = dynamic_cast<Dialog*>(record)) dialogs.push_back(dialog);
  return dialogs;
}

Dialog* Dialog::FromHandle(HWND handle) { return dynamic_cast<Dialog*>(ui::FromHandle(handle)); }

std::unique_ptr<Dialog> Dialog::Create(const resources::DialogTemplate& dialogTemplate,
                                       DLGPROC procedure) {
  std::unique_ptr<Dialog> dialog(new Dialog(dialogTemplate, procedure));
  if (!dialog->CreateControls(dialogTemplate)) return nullptr;
  return dialog;
}

Dialog::Dialog(const resources::DialogTemplate& dialogTemplate, DLGPROC procedure)
    : procedure_(procedure), font_(FontOf(dialogTemplate)) {
  PixelRect rect = ToPixels(font_.units, dialogTemplate.x, dialogTemplate.y, dialogTemplate.cx,
                            dialogTemplate.cy);
  window_ = std::make_unique<DialogWindow>(*this, rect.w, rect.h);
  window_->end();
  window_->copy_label(dialogTemplate.caption.c_str());
  window_->labelfont(font_.face);
  // DS_CENTER centres the frame on the work area; otherwise the template's
  // place is in screen coordinates (DS_ABSALIGN, or a dialog with no owner).
  if (dialogTemplate.style & DS_CENTER)
    frameOrigin_ = CentredOn(WorkArea(), rect.w, rect.h);
  else
    frameOrigin_ = POINT{rect.x, rect.y};
}

bool Dialog::CreateControls(const resources::DialogTemplate& dialogTemplate) {
  window_->begin();
  for (const resources::DialogItem& item : dialogTemplate.items) {
    ControlLayout layout{ToPixels(font_.units, item.x, item.y, item.cx, item.cy), font_.face,
                         font_.size};
    std::unique_ptr<Control> control = CreateControl(*this, item, layout);
    if (!control) break;
    controls_.push_back(std::move(control));
  }
  window_->end();
  return controls_.size() == dialogTemplate.items.size();
}

// The dialog leaves the registry first, so that the trace no longer finds
// it; the window goes next, taking the widgets with it; then the records.
Dialog::~Dialog() {
  Unregister();
  KillTimersOf(Hwnd());
  for (auto& control : controls_) KillTimersOf(control->Hwnd());
  window_->hide();
  window_.reset();
  controls_.clear();
  trace::Publish();
}

LRESULT Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR handled = procedure_ ? procedure_(Hwnd(), message, wParam, lParam) : FALSE;
  if (handled) return handled;
  switch (message) {
    case WM_SETICON:
      return SetIcon(wParam, lParam);
    default:
      return 0;
  }
}

INT_PTR Dialog::Run(LPARAM initParam) {
  std::vector<Control*> stops = TabStops();
  Control* first = stops.empty() ? nullptr : stops.front();
  WPARAM focus = reinterpret_cast<WPARAM>(first ? first->Hwnd() : nullptr);
  if (Handle(WM_INITDIALOG, focus, initParam) && first && !ended_) first->Widget().take_focus();
  if (!ended_) Show();
  while (!ended_) PumpOnce();
  return result_;
}

void Dialog::End(INT_PTR result) {
  ended_ = true;
  result_ = result;
}

void Dialog::Command(WORD id, WORD code, HWND control) {
  Handle(WM_COMMAND, static_cast<WPARAM>(id) | (static_cast<WPARAM>(code) << 16),
         reinterpret_cast<LPARAM>(control));
}

void Dialog::PressDefault() {
  Control* focused = Focused();
  if (focused && std::string(focused->ClassName()) == "Button")
    focused->Handle(BM_CLICK, 0, 0);
  else
    Command(IDOK, BN_CLICKED, nullptr);
}

void Dialog::FocusTabStop(bool last) {
  std::vector<Control*> stops = TabStops();
  if (!stops.empty()) (last ? stops.back() : stops.front())->Widget().take_focus();
}

Control* Dialog::Item(int id) {
  for (auto& control : controls_)
    if (control->Id() == id) return control.get();
  return nullptr;
}

// In template order, which is the order Tab follows.
std::vector<Control*> Dialog::TabStops() {
  std::vector<Control*> stops;
  for (auto& control : controls_)
    if (control->IsTabStop() && control->Widget().visible()) stops.push_back(control.get());
  return stops;
}

Control* Dialog::Focused() {
  for (auto& control : controls_)
    if (&control->Widget() == Fl::focus()) return control.get();
  return nullptr;
}

// The window appears where the frame belongs: first with its client area
// there (the decorations are not known before the window manager frames
// it), then the frame is moved onto the spot.
void Dialog::Show() {
  window_->PlaceAt(frameOrigin_.x, frameOrigin_.y);
  window_->Present(&frameOrigin_);
  FrameRect();
  trace::Publish();
}

bool Dialog::IsShown() { return window_->shown() && !abandoned_; }

RECT Dialog::FrameRect() {
  RECT rect;
  if (IsShown() && ui::FrameRect(fl_xid(window_.get()), &rect)) {
    lastFrame_ = rect;
    return rect;
  }
  if (abandoned_ && lastFrame_) return *lastFrame_;
  rect.left = frameOrigin_.x;
  rect.top = frameOrigin_.y;
  rect.right = rect.left + window_->w();
  rect.bottom = rect.top + window_->h();
  return rect;
}

void Dialog::MoveFrame(int x, int y) {
  frameOrigin_.x = x;
  frameOrigin_.y = y;
  if (IsShown()) ui::MoveFrame(fl_xid(window_.get()), x, y);
}

void Dialog::Raise() {
  if (IsShown() && !ended_) window_->Raise();
}

// Measured while X is there to ask, so that the frame is known when it is
// not. (FrameRect measures the frame anew at each call; this only keeps the
// last answer current.)
void Dialog::NoteMoved() {
  if (window_ && IsShown()) FrameRect();
}

bool Dialog::IsIconified() { return IsShown() && ui::IsIconified(fl_xid(window_.get())); }

LRESULT Dialog::SetIcon(WPARAM which, LPARAM icon) {
  if (which != ICON_SMALL && which != ICON_BIG) return 0;
  Picture* previous = icons_[which];
  icons_[which] = Picture::FromHandle(reinterpret_cast<HANDLE>(icon));
  const Fl_RGB_Image* images[2];
  int count = 0;
  for (Picture* picture : icons_)
    if (picture) images[count++] = picture->Normal();
  window_->icons(images, count);
  return reinterpret_cast<LRESULT>(previous ? previous->Handle() : nullptr);
}

void Dialog::Describe(TraceWriter& out) {
  RECT frame = FrameRect();
  out.Add("dialog.title", window_->label() ? window_->label() : "");
  out.Add("dialog.shown", IsShown() && !ended_ ? 1 : 0);
  out.Add("dialog.visible", IsShown() && IsMapped(fl_xid(window_.get())) ? 1 : 0);
  out.Add("dialog.iconic", IsIconified() ? 1 : 0);
  out.Add("dialog.frame", std::to_string(frame.left) + " " + std::to_string(frame.top) + " " +
                              std::to_string(frame.right) + " " + std::to_string(frame.bottom));
  out.Add("dialog.client", std::to_string(window_->w()) + " " + std::to_string(window_->h()));
  Picture* icon = icons_[ICON_SMALL];
  out.Add("dialog.icon", icon ? std::to_string(icon->Width()) + "x" + std::to_string(icon->Height())
                              : std::string("none"));
  Control* focused = Focused();
  out.Add("dialog.focus", focused ? std::to_string(focused->Id()) : std::string("none"));
  out.Add("dialog.ended", ended_ ? 1 : 0);
  for (auto& control : controls_)
    control->Describe(out, "control." + std::to_string(control->Id()) + ".");
}

void CloseWithoutDisplay() {
  static bool closing = false;
  if (closing) _exit(0);  // X was touched while closing: nothing more can be done
  closing = true;
  std::vector<Dialog*> dialogs = Dialog::Live();
  for (Dialog* dialog : dialogs) dialog->Abandon();
  for (Dialog* dialog : dialogs)
    if (!dialog->Ended()) dialog->Handle(WM_CLOSE, 0, 0);
  ExitProcess(0);
}

}  // namespace ui

namespace {

ui::Control* ItemOf(HWND dialog, int id) {
  ui::Dialog* target = ui::Dialog::FromHandle(dialog);
  return target ? target->Item(id) : nullptr;
}

}  // namespace

extern "C" {

// Returns EndDialog's value, or -1 when there is no display, no such
// template, or a control class that does not exist. The instance and the
// owner are not used: the templates are the executable's own, and the
// dialog has no owner window.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC procedure,
                               LPARAM initParam) {
  if (!IS_INTRESOURCE(templateName)) return -1;
  int id = static_cast<int>(reinterpret_cast<uintptr_t>(templateName));
  auto dialogTemplate = resources::LoadDialog(resources::EmbeddedRes(), id);
  if (!dialogTemplate || !ui::OpenDisplay()) return -1;
  std::unique_ptr<ui::Dialog> dialog = ui::Dialog::Create(*dialogTemplate, procedure);
  return dialog ? dialog->Run(initParam) : -1;
}

// The loop ends once the message being handled returns. Any window of the
// dialog ends it.
BOOL WINAPI EndDialog(HWND window, INT_PTR result) {
  ui::WindowRecord* record = ui::FromHandle(window);
  if (!record) return FALSE;
  record->Owner().End(result);
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  ui::Control* control = ItemOf(dialog, id);
  return control ? control->Hwnd() : nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  ui::Control* control = ItemOf(dialog, id);
  if (!control) return FALSE;
  control->SetText(text ? text : "");
  return TRUE;
}

// Copies at most size - 1 bytes and a terminator; returns the bytes copied.
UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  if (!text || size <= 0) return 0;
  text[0] = '\0';
  ui::Control* control = ItemOf(dialog, id);
  if (!control) return 0;
  size_t length = std::min(control->Text().size(), static_cast<size_t>(size - 1));
  std::memcpy(text, control->Text().data(), length);
  text[length] = '\0';
  return static_cast<UINT>(length);
}

}  // extern "C"
