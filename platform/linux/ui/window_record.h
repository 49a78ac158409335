// SPDX-License-Identifier: GPL-3.0-or-later
// What an HWND points at: the dialog or one of its controls. A handle is
// only ever dereferenced after FromHandle has found it alive, so a stale
// or foreign handle is refused instead of followed. The registry of live
// windows is the only one: the dialogs alive are found in it too.
#ifndef KORVANE_PLATFORM_LINUX_UI_WINDOW_RECORD_H
#define KORVANE_PLATFORM_LINUX_UI_WINDOW_RECORD_H

#include <vector>

#include "platform/platform.h"

namespace ui {

class Dialog;

class WindowRecord {
 public:
  WindowRecord();
  virtual ~WindowRecord();
  WindowRecord(const WindowRecord&) = delete;
  WindowRecord& operator=(const WindowRecord&) = delete;

  HWND Hwnd() { return reinterpret_cast<HWND>(this); }
  // The dialog this window belongs to (itself for a dialog).
  virtual Dialog& Owner() = 0;
  // A message sent to this window, handled before returning.
  virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

 protected:
  // Takes the window out of the registry before its own parts come apart,
  // so that nothing finds it half destroyed. ~WindowRecord does the same
  // for a window that never calls this, once the derived parts are gone.
  void Unregister();
};

// The live window behind `handle`, or nullptr. Safe from any thread; the
// record may be used only on the GUI thread.
WindowRecord* FromHandle(HWND handle);

// The live windows, oldest first. GUI thread.
std::vector<WindowRecord*> LiveWindows();

}  // namespace ui

#endif
