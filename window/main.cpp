// SPDX-License-Identifier: GPL-3.0-or-later
// Korvane's entry point: the modal dialog is the whole program.
#include "platform/platform.h"
#include "window/main_window.h"
#include "window/resource.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Loads the common controls, whose trackbar the dialog template names.
  InitCommonControls();
  HINSTANCE instance = GetModuleHandleA(NULL);
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, DialogProc, 0);
  ExitProcess(0);
  return 0;
}
