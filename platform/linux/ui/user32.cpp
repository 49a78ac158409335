// The user32 functions the system calls: the modal dialog and its
// controls, messages, timers, the message box, pictures and geometry. Each
// finds the window behind its handle and hands over to the dialog manager;
// a handle that is not a live window of the right kind fails the call, as
// on the platform. All but PostMessageA run on the GUI thread.
#include <cstring>

#include "platform/linux/common/warn.h"
#include "platform/linux/resources/resources.h"
#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/message_box.h"
#include "platform/linux/ui/message_loop.h"
#include "platform/linux/ui/picture.h"
#include "platform/linux/ui/timers.h"

namespace {

ui::Control* ItemOf(HWND dialog, int id) {
  ui::Dialog* target = ui::Dialog::FromHandle(dialog);
  return target ? target->Item(id) : nullptr;
}

ui::Control* ControlOf(HWND window) { return dynamic_cast<ui::Control*>(ui::FromHandle(window)); }

}  // namespace

extern "C" {

// ---- The modal dialog ------------------------------------------------------

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
  record->dialog().End(result);
  return TRUE;
}

// ---- Controls --------------------------------------------------------------

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  ui::Control* control = ItemOf(dialog, id);
  return control ? control->handle() : nullptr;
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
  size_t length = std::min(control->text().size(), static_cast<size_t>(size - 1));
  std::memcpy(text, control->text().data(), length);
  text[length] = '\0';
  return static_cast<UINT>(length);
}

// Returns whether the window was disabled before.
BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  ui::Control* control = ControlOf(window);
  if (!control) return FALSE;
  BOOL wasDisabled = !control->enabled();
  control->Enable(enable != FALSE);
  return wasDisabled;
}

// The dialog itself is never disabled.
BOOL WINAPI IsWindowEnabled(HWND window) {
  if (ui::Control* control = ControlOf(window)) return control->enabled();
  return ui::FromHandle(window) ? TRUE : FALSE;
}

// ---- Messages and timers ---------------------------------------------------

// Handled before it returns, on the calling thread, which must be the GUI
// thread: the dialog's messages go through its procedure, a control's to
// the control.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ui::WindowRecord* record = ui::FromHandle(window);
  return record ? record->Handle(message, wParam, lParam) : 0;
}

// Any thread. The message is delivered on the GUI thread, in the order of
// posting; FALSE when the window does not exist or the queue is full.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ui::Post({window, message, wParam, lParam}) ? TRUE : FALSE;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  return ui::StartTimer(window, id, elapse, procedure);
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) { return ui::StopTimer(window, id) ? TRUE : FALSE; }

// ---- The message box and pictures -----------------------------------------

// Only the OK button and the warning sign are drawn: the system asks for
// nothing else. Returns IDOK when the user dismisses the box, 0 if it
// cannot be shown (the text then goes to stderr).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string message = ui::Cp932ToUtf8(text ? text : "");
  std::string title = ui::Cp932ToUtf8(caption ? caption : "Error");
  if (!ui::OpenDisplay()) {
    common::Warn("%s: %s", title.c_str(), message.c_str());
    return 0;
  }
  ui::ShowMessageBox(owner, message, title, type);
  return IDOK;
}

// The icon and bitmaps stored in the executable, at the requested size (0
// keeps the stored size); nothing when the resource does not exist.
// Pictures are never freed: they live until the process ends.
HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
  ui::Picture* picture = ui::Picture::Load(type, id, cx, cy);
  return picture ? picture->handle() : nullptr;
}

// ---- Geometry, on the outer frame as the platform measures it ---------------
// Geometry applies to top-level windows: the dialogs.

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog || !rect) return FALSE;
  *rect = dialog->FrameRect();
  return TRUE;
}

// Moves the outer frame's corner; the dialog's size is fixed and stacking
// is left to the window manager. Before the window is shown, the place is
// kept for when it is.
BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int, int, UINT flags) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog) return FALSE;
  if (!(flags & SWP_NOMOVE)) dialog->MoveFrame(x, y);
  return TRUE;
}

BOOL WINAPI IsIconic(HWND window) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  return dialog && dialog->IsIconified();
}

// On X an iconified window's frame stays where it will be restored, so the
// normal position is the frame's, in work-area coordinates.
BOOL WINAPI GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog || !placement) return FALSE;
  RECT frame = dialog->FrameRect();
  RECT area = ui::WorkArea();
  placement->flags = 0;
  placement->showCmd = dialog->IsIconified() ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  placement->ptMinPosition = {-1, -1};
  placement->ptMaxPosition = {-1, -1};
  placement->rcNormalPosition = {frame.left - area.left, frame.top - area.top,
                                 frame.right - area.left, frame.bottom - area.top};
  return TRUE;
}

// Only the work area is known here: the first screen, once a window has
// opened the display.
BOOL WINAPI SystemParametersInfoA(UINT action, UINT, LPVOID value, UINT) {
  if (action != SPI_GETWORKAREA || !value || !ui::DisplayIsOpen()) return FALSE;
  *static_cast<RECT*>(value) = ui::WorkArea();
  return TRUE;
}

}  // extern "C"
