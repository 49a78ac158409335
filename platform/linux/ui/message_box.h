// The message box, modal over its owner dialog.
#ifndef KORVANE_PLATFORM_LINUX_UI_MESSAGE_BOX_H
#define KORVANE_PLATFORM_LINUX_UI_MESSAGE_BOX_H

#include <string>

#include "platform/platform.h"

namespace ui {

// Shows the text (UTF-8) under the caption, with the warning sign when the
// type asks for MB_ICONWARNING, and returns once the user dismisses it.
// Needs the display open.
void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

}  // namespace ui

#endif
