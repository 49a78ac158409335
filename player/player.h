// SPDX-License-Identifier: GPL-3.0-or-later
// The player: its one state record and the transport that acts on it.
#ifndef KORVANE_PLAYER_PLAYER_H
#define KORVANE_PLAYER_PLAYER_H

#include "platform/platform.h"

struct PlayerState {
  UINT DeviceId;       // from the OPEN request
  INT CurrentTrack;    // the selected track, from 1
  INT TrackCount;      // tracks on the disc
  BOOL DeviceOpen;     // set once OPEN succeeds, never cleared
  BOOL Playing;        // from PlayTrack until the next StopPlay
  INT ElapsedSeconds;  // timer ticks since the last PlayTrack
  INT TrackFrames;     // the current track's length, in frames (75 a second)
  BOOL PlayStarted;    // the device accepted the last PLAY request
  BOOL EndAsked;       // moved on by asking the device, since the last tick
};

// Values at process start.
extern const PlayerState InitialPlayerState;

// The player's state, one record for the whole process.
extern PlayerState Player;

// Every text shown or stored is formatted here just before use.
extern char TextBuffer[256];

BOOL OnCommand(HWND dialog, int command);
void PlayTrack(HWND dialog);
void StopPlay(HWND dialog);
void NextTrack(HWND dialog);
void PrevTrack(HWND dialog);
void OnPlayNotify(HWND dialog, WPARAM code);
void OnTick(HWND dialog);
void ShowTrackNumber(HWND dialog);
void ShowTrackLength(HWND dialog);

#endif
