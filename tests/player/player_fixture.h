// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the system over the recording platform: a fresh player, a scripted
// disc and the dialog started as the platform would start it.
#ifndef KORVANE_TESTS_PLAYER_PLAYER_FIXTURE_H
#define KORVANE_TESTS_PLAYER_PLAYER_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/recording/recording.h"
#include "player/player.h"
#include "window/main_window.h"
#include "window/resource.h"

class PlayerTest : public testing::Test {
 protected:
  // Starts Korvane on `disc`, keeping the start-up calls; the dialog may
  // have ended already, as after a refusal.
  void Run(const recording::Disc& disc);
  // Starts Korvane on `disc`, which it accepts, and forgets the start-up
  // calls.
  void Start(const recording::Disc& disc);
  // A disc of `count` audio tracks of 3:00, 3:01, ... minutes.
  static recording::Disc Tracks(int count);

  // The device reaches the end of the playing track, and its notification
  // is delivered.
  void EndOfTrack();

  std::vector<std::string> Requests() const { return recording::CallsStartingWith("mci"); }
  const recording::Control& Ctl(int id) { return recording::ControlOf(id); }
  std::string Counter() { return Ctl(IDC_TRACK).text; }
  std::string Length() { return Ctl(IDC_LENGTH).text; }
  // Play enabled, Stop disabled and no timer; or the other way round.
  void ExpectIdleButtons();
  void ExpectPlayingButtons();
};

// The lines the recording platform writes for the player's requests.
std::string PlayRequest(int track, bool last);
extern const char* const StopRequest;
std::string LengthRequest(int track);

#endif
