// SPDX-License-Identifier: GPL-3.0-or-later
// The window position store: section "KORVANE", keys "x" and "y" of the
// profile file "korvane.ini", found where the platform keeps such files.
#include "settings/window_pos.h"

#include "player/player.h"

static const char ProfileFile[] = "korvane.ini";
static const char ProfileSection[] = "KORVANE";
static const INT DefaultCoordinate = 100;

POINT LoadWindowPos(void) {
  POINT pos;
  pos.x = (LONG)GetPrivateProfileIntA(ProfileSection, "x", DefaultCoordinate, ProfileFile);
  pos.y = (LONG)GetPrivateProfileIntA(ProfileSection, "y", DefaultCoordinate, ProfileFile);
  return pos;
}

// The outer frame's top-left corner in screen coordinates. A minimised
// window reports a parking place far off screen; its restored place is the
// one worth keeping.
static POINT GetRestoredWindowPos(HWND dialog) {
  RECT rect;
  GetWindowRect(dialog, &rect);
  POINT pos = {rect.left, rect.top};
  if (IsIconic(dialog)) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    RECT workArea = {};
    if (GetWindowPlacement(dialog, &placement) &&
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0)) {
      // The restored rectangle is in work-area coordinates.
      pos.x = placement.rcNormalPosition.left + workArea.left;
      pos.y = placement.rcNormalPosition.top + workArea.top;
    }
  }
  return pos;
}

static void WriteCoordinate(LPCSTR key, LONG value) {
  wsprintfA(TextBuffer, "%d", (int)value);
  WritePrivateProfileStringA(ProfileSection, key, TextBuffer, ProfileFile);
}

void SaveWindowPos(HWND dialog) {
  POINT pos = GetRestoredWindowPos(dialog);
  WriteCoordinate("x", pos.x);
  WriteCoordinate("y", pos.y);
}
