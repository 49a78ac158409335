// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a track on devices that never notify it: the player asks the
// device once the track's time has run out, and moves on exactly as on the
// notification; never twice for one end, never after a refused play or a
// Stop.
#include "tests/player/player_fixture.h"

using recording::CallsStartingWith;
using recording::ClearCalls;
using recording::Click;
using recording::Tick;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const char ModeRequest[] =
    "mciSendCommandA(7, MCI_STATUS, 0x0100, no callback, item 0x0004, track 0)";
const char PositionRequest[] =
    "mciSendCommandA(7, MCI_STATUS, 0x0100, no callback, item 0x0002, track 0)";

// Three tracks of 0:05, 0:03 and 0:04 and some frames.
recording::Disc ShortDisc() {
  return recording::AudioDisc(
      {recording::Msf(0, 5, 40), recording::Msf(0, 3, 0), recording::Msf(0, 4, 74)});
}

// Ticks `count` times; the messages the device posted are delivered after
// each, as the loop would.
void TickAndDeliver(int count) {
  for (int i = 0; i < count; i++) {
    Tick();
    recording::DeliverPosted();
  }
}

TEST_F(PlayerTest, ADeviceThatNeverNotifiesIsAskedAndThePlayerRunsThroughTheDisc) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  disc.endShortFrames = 13;  // the head stands at the last block read
  Start(disc);
  Click(IDC_PLAY);

  // Track 1 is 5 s and 40 frames: the device is left alone for its length
  // and a second more, and only then asked.
  TickAndDeliver(5);
  recording::FinishPlay();
  ClearCalls();
  TickAndDeliver(1);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Counter(), "1 / 3");
  TickAndDeliver(1);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest, PositionRequest, StopRequest,
                                                    LengthRequest(2), PlayRequest(2, false)));
  EXPECT_EQ(Counter(), "2 / 3");
  EXPECT_EQ(Player.ElapsedSeconds, 0);
  ExpectPlayingButtons();

  // A device still playing when asked is asked again a second later.
  TickAndDeliver(4);
  ClearCalls();
  TickAndDeliver(1);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest));
  recording::FinishPlay();
  ClearCalls();
  TickAndDeliver(1);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest, PositionRequest, StopRequest,
                                                    LengthRequest(3), PlayRequest(3, true)));

  // The last track, played to the end of the disc, stops the player there.
  TickAndDeliver(5);
  recording::FinishPlay();
  ClearCalls();
  TickAndDeliver(1);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest, PositionRequest, StopRequest));
  EXPECT_EQ(Counter(), "3 / 3");
  ExpectIdleButtons();
}

// A device that played the samples itself may not know where it stopped.
TEST_F(PlayerTest, AStoppedDeviceThatKnowsNoPositionHasFinishedOnceTheTimeIsOut) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  disc.knowsEndPosition = false;
  Start(disc);
  Click(IDC_PLAY);
  recording::FinishPlay();
  TickAndDeliver(6);
  EXPECT_EQ(Counter(), "1 / 3");
  TickAndDeliver(1);
  EXPECT_EQ(Counter(), "2 / 3");
  ExpectPlayingButtons();
}

TEST_F(PlayerTest, AStoppedDeviceAwayFromTheTracksEndIsNotTakenAsHavingFinishedIt) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  disc.endShortFrames = 5 * 75 + 40 - 70;  // stopped more than a second short
  Start(disc);
  Click(IDC_PLAY);
  recording::FinishPlay();
  TickAndDeliver(10);
  EXPECT_EQ(Counter(), "1 / 3");
  ExpectPlayingButtons();
}

// Once the track's time has run out, a tray opened, a disc taken out or a
// drive not ready is no end of the track: only a device stopped at the
// range's end moves the player on.
TEST_F(PlayerTest, AnOpenTrayARemovedDiscOrADriveNotReadyIsNoEndOfTheTrack) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  Start(disc);
  Click(IDC_PLAY);
  recording::FinishPlay();

  // The tray opened: asked each second, and nothing moves.
  recording::CurrentDisc().idleMode = MCI_MODE_OPEN;
  TickAndDeliver(6);
  ClearCalls();
  TickAndDeliver(3);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest, ModeRequest, ModeRequest));
  EXPECT_EQ(Counter(), "1 / 3");
  ExpectPlayingButtons();

  // The drive not ready, as while it spins up again.
  recording::CurrentDisc().idleMode = MCI_MODE_NOT_READY;
  TickAndDeliver(3);
  EXPECT_EQ(Counter(), "1 / 3");

  // The disc taken out: the device cannot say its mode at all.
  recording::CurrentDisc().failures[{MCI_STATUS, MCI_STATUS_MODE}] = MCIERR_DEVICE_NOT_READY;
  TickAndDeliver(3);
  EXPECT_EQ(Counter(), "1 / 3");
  ExpectPlayingButtons();

  // Stopped where the play ended: that is the end, and the player goes on.
  recording::CurrentDisc().failures.clear();
  recording::CurrentDisc().idleMode = MCI_MODE_STOP;
  TickAndDeliver(1);
  EXPECT_EQ(Counter(), "2 / 3");
  ExpectPlayingButtons();
}

// A driver may answer the mode as a resource, its number in both words.
TEST_F(PlayerTest, AModeAnsweredAsAResourceIsReadFromItsLowWord) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  disc.idleMode = MCI_MODE_STOP | MCI_MODE_STOP << 16;
  Start(disc);
  Click(IDC_PLAY);
  recording::FinishPlay();
  TickAndDeliver(7);
  EXPECT_EQ(Counter(), "2 / 3");
}

TEST_F(PlayerTest, ADeviceThatNotifiesMovesTheTrackOnOncePerEnd) {
  Start(ShortDisc());
  Click(IDC_PLAY);

  // The notification comes in time: nothing is asked.
  TickAndDeliver(5);
  ClearCalls();
  EndOfTrack();
  EXPECT_EQ(Counter(), "2 / 3");
  TickAndDeliver(3);
  EXPECT_THAT(CallsStartingWith("mci"),
              ElementsAre(StopRequest, LengthRequest(2), PlayRequest(2, false)));

  // Late: the tick that finds the device stopped at the end moves on, and
  // the success that was on its way is that same end.
  TickAndDeliver(1);
  recording::FinishPlay();
  ClearCalls();
  Tick();
  EXPECT_EQ(Counter(), "3 / 3");
  recording::DeliverPosted();
  EXPECT_EQ(Counter(), "3 / 3");
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(ModeRequest, PositionRequest, StopRequest,
                                                    LengthRequest(3), PlayRequest(3, true)));
  ExpectPlayingButtons();

  // The next end is that of the last track, notified: the player stops.
  TickAndDeliver(4);
  EndOfTrack();
  ExpectIdleButtons();
  EXPECT_EQ(Counter(), "3 / 3");
}

TEST_F(PlayerTest, ARefusedPlayAndAStopJustBeforeTheEndStayPut) {
  recording::Disc disc = ShortDisc();
  disc.notifiesEnd = false;
  Start(disc);

  // Stopped a second before the end: no tick comes, and the device's
  // ABORTED moves nothing.
  Click(IDC_PLAY);
  TickAndDeliver(5);
  Click(IDC_STOP);
  EXPECT_EQ(recording::DeliverPosted(), 1);
  EXPECT_EQ(Tick(), -1);
  EXPECT_EQ(Counter(), "1 / 3");
  ExpectIdleButtons();

  // Run to the end of the disc, where the device stands stopped.
  Click(IDC_NEXT);
  Click(IDC_NEXT);
  Click(IDC_PLAY);
  recording::FinishPlay();
  TickAndDeliver(6);
  ExpectIdleButtons();

  // The last track again, but the device refuses to play: the player shows
  // playing and counts on, and the device standing stopped at the end is
  // no sign that this play ended.
  recording::CurrentDisc().failures[{MCI_PLAY, 0}] = MCIERR_HARDWARE;
  Click(IDC_PLAY);
  ClearCalls();
  TickAndDeliver(20);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Player.ElapsedSeconds, 20);
  ExpectPlayingButtons();
}

}  // namespace
