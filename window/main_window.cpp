// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog procedure turns window messages into calls of the player; the
// start-up and close sequences bracket a run.
#include "window/main_window.h"

#include "player/cdaudio.h"
#include "player/player.h"
#include "settings/window_pos.h"
#include "window/resource.h"

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_CLOSE:
      OnClose(dialog);
      return TRUE;
    case WM_COMMAND:
      return OnCommand(dialog, LOWORD(wParam));
    case MM_MCINOTIFY:
      OnPlayNotify(dialog, wParam);
      return TRUE;
    case WM_TIMER:
      OnTick(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

// Puts the disc icon in the title bar and the pictures on the five buttons.
void ApplyImages(HWND dialog) {
  HINSTANCE instance = GetModuleHandleA(NULL);
  HANDLE icon =
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);

  static const int Pictures[] = {IDB_PLAY, IDB_STOP, IDB_NEXT, IDB_PREV, IDB_PAGE};
  static const int Buttons[] = {IDC_PLAY, IDC_STOP, IDC_NEXT, IDC_PREV, IDC_PAGE};
  HANDLE bitmaps[5];
  for (int i = 0; i < 5; i++)
    bitmaps[i] =
        LoadImageA(instance, MAKEINTRESOURCEA(Pictures[i]), IMAGE_BITMAP, 16, 16, LR_DEFAULTCOLOR);
  for (int i = 0; i < 5; i++)
    SendMessageA(GetDlgItem(dialog, Buttons[i]), BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmaps[i]);
}

// Start-up, with the window still hidden: pictures, the disc, the stored
// position. A refused disc has already closed the window inside
// OpenCdDevice; the rest runs all the same and the window is never shown.
void OnInitDialog(HWND dialog) {
  ApplyImages(dialog);
  OpenCdDevice(dialog);
  POINT pos = LoadWindowPos();
  SetWindowPos(dialog, NULL, pos.x, pos.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
}

// The only way out: stop the disc, close the device, keep the position.
void OnClose(HWND dialog) {
  StopPlay(dialog);
  CloseCdDevice();
  SaveWindowPos(dialog);
  EndDialog(dialog, 0);
}
