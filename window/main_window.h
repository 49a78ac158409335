// SPDX-License-Identifier: GPL-3.0-or-later
// The one window: its dialog procedure and the sequences that open and
// close a run.
#ifndef KORVANE_WINDOW_MAIN_WINDOW_H
#define KORVANE_WINDOW_MAIN_WINDOW_H

#include "platform/platform.h"

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ApplyImages(HWND dialog);
void OnInitDialog(HWND dialog);
void OnClose(HWND dialog);

#endif
