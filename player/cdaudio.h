// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation with the "cdaudio" device: opening it and judging the
// disc, closing it, and every request the player sends it.
#ifndef KORVANE_PLAYER_CDAUDIO_H
#define KORVANE_PLAYER_CDAUDIO_H

#include "platform/platform.h"

void OpenCdDevice(HWND dialog);
void CloseCdDevice(void);
void ShowWarning(HWND dialog, LPCSTR text);

// Plays `track` from its start, up to the start of the next track unless
// `toEnd` is set; the device posts its completion to `dialog`. TRUE when
// the device took the request.
BOOL SendPlayRequest(HWND dialog, INT track, BOOL toEnd);
void SendStopRequest(void);
// The length of `track` as MSF: minutes in byte 0, seconds in byte 1.
DWORD QueryTrackLength(INT track);
// TRUE when the device says it stands stopped; FALSE while it plays, when
// its tray is open or it is not ready, or when it cannot say. A driver may
// return the mode as a resource (its number in both words): the low word
// is the mode.
BOOL QueryStopped(void);
// The device's position as TMSF; FALSE when it cannot say.
BOOL QueryPosition(DWORD* position);

// Packs a track number into a TMSF time at the track's start.
DWORD MakeTrackStart(INT track);

#endif
