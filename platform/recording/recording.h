// SPDX-License-Identifier: GPL-3.0-or-later
// The recording platform: a backend for tests. It records every platform
// call in order, keeps each control's state, plays a scripted disc behind
// mciSendCommandA, and delivers clicks, timer ticks and the device's
// notifications through the dialog procedure as the platform would.
#ifndef KORVANE_PLATFORM_RECORDING_RECORDING_H
#define KORVANE_PLATFORM_RECORDING_RECORDING_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/trackbar_range.h"

namespace recording {

// The disc behind the scripted "cdaudio" device.
struct Disc {
  MCIERROR openResult = 0;  // what OPEN answers
  MCIDEVICEID deviceId = 7;
  // The tracks there are: as many as the longer of these two lists.
  std::vector<DWORD> types;    // per track; audio when not listed
  std::vector<DWORD> lengths;  // per track, MSF: minutes byte 0, seconds byte 1, frames byte 2
  DWORD trackCount = 0;        // what TRACK COUNT answers
  std::map<std::pair<UINT, DWORD>, MCIERROR> failures;  // (command, status item or 0) -> error
  // Whether the end of a play is notified. Some drivers never do, and
  // leave the notification pending until a STOP or the next PLAY.
  bool notifiesEnd = true;
  // How far short of a finished play's end the position reads, in frames;
  // 0 reads the very end (the next track's start).
  int endShortFrames = 0;
  // Whether the position is known once a play has finished; a driver that
  // plays the disc's samples itself may answer 0, a place on no track.
  bool knowsEndPosition = true;
  // What MODE answers while no play sounds: stopped, or the tray opened
  // (MCI_MODE_OPEN), or the drive not ready (MCI_MODE_NOT_READY).
  DWORD idleMode = MCI_MODE_STOP;
};

// A disc of `lengths.size()` audio tracks.
Disc AudioDisc(std::vector<DWORD> lengths);
// An MSF time value.
DWORD Msf(int minutes, int seconds, int frames = 0);

// One request as the device received it. Fields the flags do not select are
// recorded too, so a test can see what was (not) set.
struct Request {
  MCIDEVICEID device = 0;
  UINT command = 0;
  DWORD flags = 0;
  bool hasRecord = false;
  DWORD_PTR callback = 0;
  std::string deviceType;
  bool hasElement = false, hasAlias = false;
  DWORD item = 0, track = 0, timeFormat = 0, from = 0, to = 0;
};

// Every control keeps a trackbar's range and position; only the slider's
// are ever set.
struct Control : shared::TrackbarRange {
  std::string text;
  bool enabled = true;
  LPARAM image = 0;
};

// Starts a fresh platform: no calls, no dialog, the given disc, an empty
// profile store, and the window rectangle the dialog manager would give.
void Reset(const Disc& disc, RECT windowRect = RECT{462, 334, 562, 434});

// Every call so far, one line each, e.g. "SetDlgItemTextA(1000, 1 / 9)".
const std::vector<std::string>& Calls();
// The calls whose line starts with `prefix`.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
void ClearCalls();
const std::vector<Request>& Requests();
// The disc behind the device, which a test may change between requests.
Disc& CurrentDisc();

HWND Dialog();
Control& ControlOf(int id);
bool TimerRunning();
bool DialogEnded();
std::map<std::string, std::string>& Profile();  // "SECTION/key" -> value
void SetIconic(bool iconic, RECT restored);

// Runs the dialog as DialogBoxParamA would, without a loop: builds it and
// sends WM_INITDIALOG. The test then delivers events.
void StartDialog(DLGPROC proc);
// What the user or the platform does; each returns what the dialog
// procedure answered, or -1 when the event could not happen.
INT_PTR Click(int id);  // only an enabled button can be clicked
INT_PTR Tick();         // only while the timer runs
INT_PTR CloseButton();
// The device reaches the end of the play under way, stops there and, if
// it notifies, posts its success.
void FinishPlay();
// Delivers the posted messages in order; returns how many.
int DeliverPosted();

// Runs during DialogBoxParamA after WM_INITDIALOG, in place of the loop.
void SetDialogScript(std::function<void()> script);

// Thrown by ExitProcess so a test can watch the entry point end.
struct ProcessExit {
  UINT code;
};

}  // namespace recording

#endif
