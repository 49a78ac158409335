// SPDX-License-Identifier: GPL-3.0-or-later
// Player state and transport: what the four buttons do, how a track is
// played and left, and what the counter, the length and the slider show.
#include "player/player.h"

#include "player/cdaudio.h"
#include "window/resource.h"

const PlayerState InitialPlayerState = {0, 1, 0, FALSE, FALSE, 0, 0, FALSE, FALSE};
PlayerState Player = InitialPlayerState;
char TextBuffer[256];

// A CD's time unit: frames of 1/75 second.
static const INT FramesPerSecond = 75;

// Shows the transport as playing (Stop usable, timer running) or idle.
static void ShowTransport(HWND dialog, BOOL playing) {
  if (playing) {
    EnableWindow(GetDlgItem(dialog, IDC_PLAY), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), TRUE);
    SetTimer(dialog, IDT_PLAY, 1000, NULL);
  } else {
    EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_PLAY), TRUE);
    KillTimer(dialog, IDT_PLAY);
  }
}

// Routes the transport buttons; anything else, Esc's IDCANCEL included, is
// left to the dialog manager.
BOOL OnCommand(HWND dialog, int command) {
  switch (command) {
    case IDC_PLAY:
      PlayTrack(dialog);
      return TRUE;
    case IDC_STOP:
      StopPlay(dialog);
      return TRUE;
    case IDC_NEXT:
      NextTrack(dialog);
      return TRUE;
    case IDC_PREV:
      PrevTrack(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

// Plays the current track from its start to the start of the next one, or
// to the end of the disc for the last track. A second Play does not restart.
void PlayTrack(HWND dialog) {
  if (!Player.DeviceOpen || Player.Playing) return;
  Player.ElapsedSeconds = 0;
  // A refused play still shows as playing, but is never taken as ended.
  Player.PlayStarted =
      SendPlayRequest(dialog, Player.CurrentTrack, Player.CurrentTrack == Player.TrackCount);
  ShowTransport(dialog, TRUE);
  Player.Playing = TRUE;
}

// Stops the disc. The track, the count and the slider stay as they are.
void StopPlay(HWND dialog) {
  if (!Player.DeviceOpen || !Player.Playing) return;
  SendStopRequest();
  ShowTransport(dialog, FALSE);
  Player.Playing = FALSE;
}

// Steps `step` tracks (+1 or -1) unless the current track is `bound`,
// playing on if playback was on.
static void StepTrack(HWND dialog, INT step, INT bound) {
  if (!Player.DeviceOpen || Player.CurrentTrack == bound) return;
  BOOL wasPlaying = Player.Playing;
  if (wasPlaying) StopPlay(dialog);
  Player.CurrentTrack += step;
  ShowTrackNumber(dialog);
  ShowTrackLength(dialog);
  if (wasPlaying) PlayTrack(dialog);
}

void NextTrack(HWND dialog) { StepTrack(dialog, +1, Player.TrackCount); }

void PrevTrack(HWND dialog) { StepTrack(dialog, -1, 1); }

// The current track has been played to its end: on to the next one, or
// stop after the last.
static void MoveOn(HWND dialog) {
  if (Player.CurrentTrack == Player.TrackCount)
    StopPlay(dialog);
  else
    NextTrack(dialog);
}

// The device has finished the last PLAY request. Only a play that reached
// its end moves the player on; aborted, superseded and failed plays do not.
// A success that comes after the player has already moved on by asking
// (it was on its way when the tick came) is that same end, not another.
void OnPlayNotify(HWND dialog, WPARAM code) {
  if (code != MCI_NOTIFY_SUCCESSFUL) return;
  if (Player.EndAsked) {
    Player.EndAsked = FALSE;
    return;
  }
  MoveOn(dialog);
}

// Some devices never notify the end of a play. Once the track's time has
// run out by a second, the device is asked whether it has stopped at the
// end of the track (or past it); within a second of it counts, as a
// device may report the last block it read. Only a device that says it
// is stopped has ended the play: an open tray, a drive not ready or a
// failed request is no end. A stopped device whose position lies on no
// track of the disc (one that played the samples itself answers 0)
// cannot say where it stopped: with the track's time run out, its play
// is over.
static BOOL PlayedThroughUnannounced(void) {
  if (!Player.Playing || !Player.PlayStarted) return FALSE;
  if (Player.ElapsedSeconds * FramesPerSecond < Player.TrackFrames + FramesPerSecond) return FALSE;
  DWORD position;
  if (!QueryStopped() || !QueryPosition(&position)) return FALSE;
  INT track = (INT)(position & 0xFF);
  if (track < 1 || track > Player.TrackCount) return TRUE;
  INT frames =
      ((INT)((position >> 8) & 0xFF) * 60 + (INT)((position >> 16) & 0xFF)) * FramesPerSecond +
      (INT)((position >> 24) & 0xFF);
  return track > Player.CurrentTrack ||
         (track == Player.CurrentTrack && frames + FramesPerSecond >= Player.TrackFrames);
}

// One second of the playing track has passed: move the slider one step,
// and move on if the device has ended the track without saying so.
void OnTick(HWND dialog) {
  Player.EndAsked = FALSE;
  Player.ElapsedSeconds += 1;
  SendMessageA(GetDlgItem(dialog, IDC_SLIDER), TBM_SETPOS, TRUE, Player.ElapsedSeconds);
  if (PlayedThroughUnannounced()) {
    MoveOn(dialog);
    Player.EndAsked = TRUE;
  }
}

// "3 / 12" in the track counter.
void ShowTrackNumber(HWND dialog) {
  wsprintfA(TextBuffer, "%d / %d", Player.CurrentTrack, Player.TrackCount);
  SetDlgItemTextA(dialog, IDC_TRACK, TextBuffer);
}

// The current track's length as "04 : 35", and the slider spanning it in
// seconds, back at 0. Frames are dropped.
void ShowTrackLength(HWND dialog) {
  DWORD length = QueryTrackLength(Player.CurrentTrack);
  INT minutes = (INT)(length & 0xFF);
  INT seconds = (INT)((length >> 8) & 0xFF);
  Player.TrackFrames = (minutes * 60 + seconds) * FramesPerSecond + (INT)((length >> 16) & 0xFF);
  wsprintfA(TextBuffer, "%02d : %02d", minutes, seconds);
  SetDlgItemTextA(dialog, IDC_LENGTH, TextBuffer);
  HWND slider = GetDlgItem(dialog, IDC_SLIDER);
  SendMessageA(slider, TBM_SETRANGEMAX, FALSE, minutes * 60 + seconds);
  SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageA(slider, TBM_SETPOS, TRUE, 0);
}
