// SPDX-License-Identifier: GPL-3.0-or-later
// The stored window position: read at start-up as it stands, written back
// at close, and the restored position kept when the window closes minimised.
#include "tests/player/player_fixture.h"

using recording::CallsStartingWith;
using testing::ElementsAre;

namespace {

class WindowPositionTest : public PlayerTest {};

TEST_F(WindowPositionTest, StoredPositionIsUsedAsItIsAndWrittenBackSigned) {
  recording::Reset(Tracks(3));
  Player = InitialPlayerState;
  recording::Profile()["KORVANE/x"] = "-20";
  recording::Profile()["KORVANE/y"] = "-5";
  recording::StartDialog(DialogProc);
  EXPECT_THAT(CallsStartingWith("SetWindowPos"),
              ElementsAre("SetWindowPos(dialog, NULL, -20, -5, 0, 0, 0x0005)"));
  recording::CloseButton();
  EXPECT_EQ(recording::Profile()["KORVANE/x"], "-20");
  EXPECT_EQ(recording::Profile()["KORVANE/y"], "-5");
}

TEST_F(WindowPositionTest, ClosingWhileMinimisedKeepsTheRestoredPosition) {
  Run(Tracks(3));
  recording::SetIconic(true, RECT{300, 200, 400, 300});
  recording::CloseButton();
  EXPECT_EQ(recording::Profile()["KORVANE/x"], "300");
  EXPECT_EQ(recording::Profile()["KORVANE/y"], "200");
}

}  // namespace
