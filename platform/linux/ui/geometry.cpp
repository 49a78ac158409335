// Window geometry, on the outer frame as the platform measures it.
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/display.h"

namespace {

// Geometry applies to top-level windows: the dialogs.
ui::Dialog* TopLevel(HWND window) {
  ui::WindowRecord* record = ui::FromHandle(window);
  if (!record || &record->dialog() != record) return nullptr;
  return &record->dialog();
}

}  // namespace

extern "C" BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  ui::Dialog* dialog = TopLevel(window);
  if (!dialog || !rect) return FALSE;
  *rect = dialog->FrameRect();
  return TRUE;
}

// Moves the outer frame's corner; the dialog's size is fixed and stacking
// is left to the window manager. Before the window is shown, the place is
// kept for when it is.
extern "C" BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int, int, UINT flags) {
  ui::Dialog* dialog = TopLevel(window);
  if (!dialog) return FALSE;
  if (!(flags & SWP_NOMOVE)) dialog->MoveFrame(x, y);
  return TRUE;
}

extern "C" BOOL WINAPI IsIconic(HWND window) {
  ui::Dialog* dialog = TopLevel(window);
  return dialog && dialog->IsIconified();
}

// On X an iconified window's frame stays where it will be restored, so the
// normal position is the frame's, in work-area coordinates.
extern "C" BOOL WINAPI GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
  ui::Dialog* dialog = TopLevel(window);
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
extern "C" BOOL WINAPI SystemParametersInfoA(UINT action, UINT, LPVOID value, UINT) {
  if (action != SPI_GETWORKAREA || !value || !ui::DisplayIsOpen()) return FALSE;
  *static_cast<RECT*>(value) = ui::WorkArea();
  return TRUE;
}
