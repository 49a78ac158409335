// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog built from a classic template: its window, its controls and
// its procedure, and the modal run from WM_INITDIALOG to EndDialog.
#ifndef KORVANE_PLATFORM_LINUX_UI_DIALOG_H
#define KORVANE_PLATFORM_LINUX_UI_DIALOG_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/resources/resources.h"
#include "platform/linux/ui/control.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/trace.h"
#include "platform/linux/ui/window_record.h"

namespace ui {

class DialogWindow;
class Picture;

class Dialog : public WindowRecord {
 public:
  // Nothing when the template names a control class the platform does not
  // know: the whole dialog fails, as it does on the platform. Needs the
  // display open.
  static std::unique_ptr<Dialog> Create(const resources::DialogTemplate& dialogTemplate,
                                        DLGPROC procedure);
  ~Dialog() override;

  Dialog& Owner() override { return *this; }
  // The dialog procedure first; what it leaves (returns FALSE for) gets the
  // platform's default handling.
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  // WM_INITDIALOG, then shows the window unless the procedure ended the
  // dialog, then delivers events until it does. Returns EndDialog's value.
  INT_PTR Run(LPARAM initParam);
  void End(INT_PTR result);
  bool Ended() const { return ended_; }

  void Command(WORD id, WORD code, HWND control);
  // Enter: a focused push button is the default one and is pressed;
  // otherwise the dialog gets IDOK.
  void PressDefault();
  // Gives the focus to the first tab stop, or the last.
  void FocusTabStop(bool last);
  Control* Item(int id);

  // The outer frame in screen coordinates. Before the window is first
  // shown, the window manager has not framed it and has told nothing of
  // its decorations: the frame is then the client area, at the place the
  // frame will take when shown.
  //
  // Once the dialog is abandoned, it answers from the last frame it knew.
  RECT FrameRect();
  void MoveFrame(int x, int y);
  // Brings the shown window up; nothing before it is shown or once it is
  // abandoned.
  void Raise();
  bool IsIconified();
  // Shown, and not abandoned.
  bool IsShown();
  // The window moved on the screen.
  void NoteMoved();
  // The display or the window is gone: from now on nothing of the dialog
  // touches X.
  void Abandon() { abandoned_ = true; }
  bool Abandoned() const { return abandoned_; }

  void Describe(TraceWriter& out);

  // The dialogs alive, oldest first.
  static std::vector<Dialog*> Live();
  // The dialog behind a handle; nullptr for a control's or a dead one.
  static Dialog* FromHandle(HWND handle);

 private:
  Dialog(const resources::DialogTemplate& dialogTemplate, DLGPROC procedure);
  bool CreateControls(const resources::DialogTemplate& dialogTemplate);
  void Show();
  LRESULT SetIcon(WPARAM which, LPARAM icon);
  std::vector<Control*> TabStops();
  Control* Focused();

  DLGPROC procedure_;
  DialogFont font_;
  std::unique_ptr<DialogWindow> window_;
  std::vector<std::unique_ptr<Control>> controls_;
  POINT frameOrigin_ = {0, 0};     // where the frame goes when shown
  std::optional<RECT> lastFrame_;  // as last measured on the screen
  bool abandoned_ = false;
  Picture* icons_[2] = {nullptr, nullptr};  // ICON_SMALL, ICON_BIG
  bool ended_ = false;
  INT_PTR result_ = 0;
};

// The display, or the dialog's window, is gone: each live dialog that has
// not ended closes as its close button would close it (WM_CLOSE to its
// procedure, which stops the disc, closes the device and stores the
// position), without touching X; then the process ends with exit code 0,
// as after a close.
[[noreturn]] void CloseWithoutDisplay();

}  // namespace ui

#endif
