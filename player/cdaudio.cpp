// SPDX-License-Identifier: GPL-3.0-or-later
// The "cdaudio" device: opened once at start-up, where the disc is accepted
// or refused, closed once at shut-down, and the requests the player sends it
// in between. Every request record is built on the stack, zeroed, for the
// one request.
#include "player/cdaudio.h"

#include "player/player.h"

// Caption of both warnings.
static const char WarningCaption[] = "Korvane Ver 1.00";

// Code page 932: "デバイスが開けませんでした" (the device could not be opened).
static const char NoDeviceText[] =
    "\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xaa\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5"
    "\x82\xb5\x82\xbd";

// Code page 932: "CD オーディオファイルが入っていません" (no CD audio inserted).
static const char NoAudioText[] =
    "CD \x83\x49\x81\x5b\x83\x66\x83\x42\x83\x49\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x93\xfc"
    "\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

static MCIERROR SendRequest(UINT command, DWORD flags, void* parms) {
  return mciSendCommandA(Player.DeviceId, command, flags, (DWORD_PTR)parms);
}

// Asks for one status item; a failed request answers 0.
static DWORD QueryStatus(DWORD flags, DWORD item, DWORD track, MCIERROR* error) {
  MCI_STATUS_PARMS status = {};
  status.dwItem = item;
  status.dwTrack = track;
  *error = SendRequest(MCI_STATUS, flags, &status);
  return (DWORD)status.dwReturn;
}

// Opens the drive and judges the disc: it must begin with an audio track
// and hold at least one track. On acceptance the window shows track 1.
void OpenCdDevice(HWND dialog) {
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, (DWORD_PTR)&open) != 0) {
    ShowWarning(dialog, NoDeviceText);
    return;
  }
  Player.DeviceId = open.wDeviceID;
  Player.DeviceOpen = TRUE;

  MCIERROR error;
  DWORD type = QueryStatus(MCI_STATUS_ITEM | MCI_TRACK, MCI_CDA_STATUS_TYPE_TRACK, 1, &error);
  if (error != 0 || type != MCI_CDA_TRACK_AUDIO) {
    ShowWarning(dialog, NoAudioText);
    return;
  }

  MCI_SET_PARMS set = {};
  set.dwTimeFormat = MCI_FORMAT_TMSF;
  SendRequest(MCI_SET, MCI_SET_TIME_FORMAT, &set);

  // A count the device cannot give, or of no tracks, would leave Next
  // without a bound: such a disc is refused like one without audio.
  DWORD count = QueryStatus(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &error);
  if (error != 0 || count < 1 || count > 99) {
    ShowWarning(dialog, NoAudioText);
    return;
  }
  Player.TrackCount = (INT)count;

  ShowTrackNumber(dialog);
  ShowTrackLength(dialog);
}

// The last request of a run.
void CloseCdDevice(void) {
  if (!Player.DeviceOpen) return;
  SendRequest(MCI_CLOSE, 0, NULL);
}

// Tells the user why the disc cannot be played, then closes the window;
// the close sequence has run to its end when this returns.
void ShowWarning(HWND dialog, LPCSTR text) {
  MessageBoxA(dialog, text, WarningCaption, MB_ICONWARNING);
  SendMessageA(dialog, WM_CLOSE, 0, 0);
}

DWORD MakeTrackStart(INT track) { return (DWORD)(track & 0xFF); }

BOOL SendPlayRequest(HWND dialog, INT track, BOOL toEnd) {
  MCI_PLAY_PARMS play = {};
  play.dwCallback = (DWORD_PTR)dialog;
  play.dwFrom = MakeTrackStart(track);
  play.dwTo = MakeTrackStart(track + 1);
  DWORD flags = toEnd ? MCI_NOTIFY | MCI_FROM : MCI_NOTIFY | MCI_FROM | MCI_TO;
  return SendRequest(MCI_PLAY, flags, &play) == 0;
}

void SendStopRequest(void) { SendRequest(MCI_STOP, 0, NULL); }

DWORD QueryTrackLength(INT track) {
  MCIERROR error;
  return QueryStatus(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, (DWORD)track, &error);
}

BOOL QueryStopped(void) {
  MCIERROR error;
  DWORD mode = QueryStatus(MCI_STATUS_ITEM, MCI_STATUS_MODE, 0, &error);
  return error == 0 && LOWORD(mode) == MCI_MODE_STOP;
}

BOOL QueryPosition(DWORD* position) {
  MCIERROR error;
  *position = QueryStatus(MCI_STATUS_ITEM, MCI_STATUS_POSITION, 0, &error);
  return error == 0;
}
