// The control classes a dialog template may name, as the platform knows
// them: "Static", "Button" and the trackbar "msctls_trackbar32".
#ifndef KORVANE_PLATFORM_LINUX_UI_CONTROLS_H
#define KORVANE_PLATFORM_LINUX_UI_CONTROLS_H

#include "platform/linux/ui/control.h"

namespace ui {

std::unique_ptr<Control> MakeStatic(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout);
std::unique_ptr<Control> MakeButton(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout);
std::unique_ptr<Control> MakeTrackbar(Dialog& dialog, const resources::DialogItem& item,
                                      const ControlLayout& layout);

}  // namespace ui

#endif
