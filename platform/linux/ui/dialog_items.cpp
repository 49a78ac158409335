// The dialog operations on handles: ending the dialog, finding, texting,
// enabling controls, and sending messages. All on the GUI thread.
#include <cstring>

#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/trace.h"

namespace {

ui::Dialog* DialogOf(HWND window) {
  ui::WindowRecord* record = ui::FromHandle(window);
  return record ? &record->dialog() : nullptr;
}

ui::Control* ItemOf(HWND dialog, int id) {
  ui::WindowRecord* record = ui::FromHandle(dialog);
  if (!record || &record->dialog() != record) return nullptr;
  return record->dialog().Item(id);
}

}  // namespace

// The loop ends once the message being handled returns.
extern "C" BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  ui::Dialog* target = DialogOf(dialog);
  if (!target) return FALSE;
  target->End(result);
  return TRUE;
}

extern "C" HWND WINAPI GetDlgItem(HWND dialog, int id) {
  ui::Control* control = ItemOf(dialog, id);
  return control ? control->handle() : nullptr;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  ui::Control* control = ItemOf(dialog, id);
  if (!control) return FALSE;
  control->SetText(text ? text : "");
  return TRUE;
}

// Copies at most size - 1 bytes and a terminator; returns the bytes copied.
extern "C" UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  if (!text || size <= 0) return 0;
  text[0] = '\0';
  ui::Control* control = ItemOf(dialog, id);
  if (!control) return 0;
  size_t length = std::min(control->text().size(), size_t(size - 1));
  std::memcpy(text, control->text().data(), length);
  text[length] = '\0';
  return UINT(length);
}

// Returns whether the window was disabled before.
extern "C" BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  ui::WindowRecord* record = ui::FromHandle(window);
  auto* control = dynamic_cast<ui::Control*>(record);
  if (!control) return FALSE;
  BOOL wasDisabled = !control->enabled();
  control->Enable(enable != FALSE);
  return wasDisabled;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND window) {
  auto* control = dynamic_cast<ui::Control*>(ui::FromHandle(window));
  if (control) return control->enabled();
  return ui::FromHandle(window) ? TRUE : FALSE;
}

// Handled before it returns, on the calling thread, which must be the GUI
// thread: the dialog's messages go through its procedure, a control's to
// the control.
extern "C" LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ui::WindowRecord* record = ui::FromHandle(window);
  return record ? record->Handle(message, wParam, lParam) : 0;
}
