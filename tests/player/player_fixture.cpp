// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/player/player_fixture.h"

#include <cstdio>

void PlayerTest::Run(const recording::Disc& disc) {
  Player = InitialPlayerState;
  recording::Reset(disc);
  recording::StartDialog(DialogProc);
}

void PlayerTest::Start(const recording::Disc& disc) {
  Run(disc);
  ASSERT_FALSE(recording::DialogEnded());
  recording::ClearCalls();
}

recording::Disc PlayerTest::Tracks(int count) {
  std::vector<DWORD> lengths;
  for (int i = 0; i < count; i++) lengths.push_back(recording::Msf(3, i, 10));
  return recording::AudioDisc(lengths);
}

void PlayerTest::EndOfTrack() {
  recording::FinishPlay();
  recording::DeliverPosted();
}

void PlayerTest::ExpectIdleButtons() {
  EXPECT_TRUE(Ctl(IDC_PLAY).enabled);
  EXPECT_FALSE(Ctl(IDC_STOP).enabled);
  EXPECT_FALSE(recording::TimerRunning());
  EXPECT_FALSE(Player.Playing);
}

void PlayerTest::ExpectPlayingButtons() {
  EXPECT_FALSE(Ctl(IDC_PLAY).enabled);
  EXPECT_TRUE(Ctl(IDC_STOP).enabled);
  EXPECT_TRUE(recording::TimerRunning());
  EXPECT_TRUE(Player.Playing);
}

std::string PlayRequest(int track, bool last) {
  char line[128];
  std::snprintf(line, sizeof line,
                "mciSendCommandA(7, MCI_PLAY, %s, callback dialog, from 0x%08X, to 0x%08X)",
                last ? "0x0005" : "0x000D", track & 0xFF, (track + 1) & 0xFF);
  return line;
}

const char* const StopRequest = "mciSendCommandA(7, MCI_STOP, 0x0000, no record)";

std::string LengthRequest(int track) {
  return "mciSendCommandA(7, MCI_STATUS, 0x0110, no callback, item 0x0001, track " +
         std::to_string(track) + ")";
}
