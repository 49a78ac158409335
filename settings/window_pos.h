// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window stood when Korvane last closed, kept in "korvane.ini".
#ifndef KORVANE_SETTINGS_WINDOW_POS_H
#define KORVANE_SETTINGS_WINDOW_POS_H

#include "platform/platform.h"

// The stored top-left corner of the window's outer frame, (100, 100) when
// nothing is stored.
POINT LoadWindowPos(void);
void SaveWindowPos(HWND dialog);

#endif
