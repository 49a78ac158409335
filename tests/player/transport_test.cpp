// SPDX-License-Identifier: GPL-3.0-or-later
// The transport as a user meets it: buttons, the end of a track, the timer.
#include "tests/player/player_fixture.h"

using recording::Calls;
using recording::CallsStartingWith;
using recording::ClearCalls;
using recording::Click;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

TEST_F(PlayerTest, NineTrackDiscPlaysTrackByTrackToItsEndAndStops) {
  Start(Tracks(9));
  EXPECT_EQ(Counter(), "1 / 9");

  ASSERT_EQ(Click(IDC_PLAY), TRUE);
  EXPECT_THAT(Calls(), ElementsAre("DialogProc(WM_COMMAND, 1005)", PlayRequest(1, false),
                                   "EnableWindow(1005, 0)", "EnableWindow(1006, 1)",
                                   "SetTimer(dialog, 1, 1000, NULL)"));
  ExpectPlayingButtons();

  for (int track = 1; track < 9; track++) {
    recording::Tick();
    recording::Tick();
    EXPECT_EQ(Ctl(IDC_SLIDER).pos, 2);
    ClearCalls();
    EndOfTrack();
    // Stop, step, show, play: the device never sees two plays at once.
    EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(StopRequest, LengthRequest(track + 1),
                                                      PlayRequest(track + 1, track + 1 == 9)))
        << "after track " << track;
    EXPECT_EQ(Counter(), std::to_string(track + 1) + " / 9");
    EXPECT_EQ(Length(), "03 : 0" + std::to_string(track));
    EXPECT_EQ(Ctl(IDC_SLIDER).rangeMax, 180 + track);
    EXPECT_EQ(Ctl(IDC_SLIDER).pos, 0);
    EXPECT_EQ(Player.ElapsedSeconds, 0);
    ExpectPlayingButtons();
  }

  // The last track plays to the end of the disc; its end stops the player.
  ClearCalls();
  EndOfTrack();
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(StopRequest));
  EXPECT_EQ(Counter(), "9 / 9");
  EXPECT_EQ(Player.CurrentTrack, 9);
  ExpectIdleButtons();

  // Play starts the last track again.
  ClearCalls();
  Click(IDC_PLAY);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(PlayRequest(9, true)));
}

TEST_F(PlayerTest, StopDuringPlayIgnoresTheAbortedNotification) {
  Start(Tracks(9));
  Click(IDC_PLAY);
  recording::Tick();
  ClearCalls();

  Click(IDC_STOP);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(StopRequest));
  ExpectIdleButtons();
  EXPECT_EQ(Player.ElapsedSeconds, 1);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 1);

  // The device answers the stopped play with ABORTED; nothing moves.
  ClearCalls();
  EXPECT_EQ(recording::DeliverPosted(), 1);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Counter(), "1 / 9");
  ExpectIdleButtons();

  // Stop is disabled now: a click cannot reach the player.
  EXPECT_EQ(Click(IDC_STOP), -1);

  // Play starts the track again from its beginning; the slider keeps its
  // place until the first tick.
  ClearCalls();
  Click(IDC_PLAY);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(PlayRequest(1, false)));
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 1);
  recording::Tick();
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 1);
  EXPECT_EQ(Player.ElapsedSeconds, 1);
}

TEST_F(PlayerTest, OtherNotificationsChangeNothing) {
  Start(Tracks(3));
  Click(IDC_PLAY);
  ClearCalls();
  for (WPARAM code : {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_ABORTED, MCI_NOTIFY_FAILURE})
    EXPECT_EQ(DialogProc(recording::Dialog(), MM_MCINOTIFY, code, 7), TRUE);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Counter(), "1 / 3");
  ExpectPlayingButtons();
}

TEST_F(PlayerTest, SuccessHandledAfterStopStepsWithoutPlaying) {
  Start(Tracks(3));
  Click(IDC_PLAY);
  // The track ends just before the user presses Stop.
  recording::FinishPlay();
  Click(IDC_STOP);
  ClearCalls();
  recording::DeliverPosted();
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(LengthRequest(2)));
  EXPECT_EQ(Counter(), "2 / 3");
  ExpectIdleButtons();

  // On the last track the same late success does nothing at all.
  Click(IDC_NEXT);
  Click(IDC_PLAY);
  recording::FinishPlay();
  Click(IDC_STOP);
  ClearCalls();
  recording::DeliverPosted();
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Counter(), "3 / 3");
}

TEST_F(PlayerTest, NextAndPreviousStopAtTheEndsOfTheDisc) {
  Start(Tracks(3));
  // Idle: Previous on track 1 does nothing; Next steps without playing.
  ASSERT_EQ(Click(IDC_PREV), TRUE);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_EQ(Counter(), "1 / 3");

  recording::ControlOf(IDC_SLIDER).pos = 50;
  Click(IDC_NEXT);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(LengthRequest(2)));
  EXPECT_EQ(Counter(), "2 / 3");
  EXPECT_EQ(Length(), "03 : 01");
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 0);
  ExpectIdleButtons();

  Click(IDC_NEXT);
  ClearCalls();
  Click(IDC_NEXT);
  EXPECT_THAT(Calls(), ElementsAre("DialogProc(WM_COMMAND, 1008)"));
  EXPECT_EQ(Counter(), "3 / 3");

  // Playing: Previous stops, steps back and plays on.
  Click(IDC_PLAY);
  ClearCalls();
  Click(IDC_PREV);
  EXPECT_THAT(CallsStartingWith("mci"),
              ElementsAre(StopRequest, LengthRequest(2), PlayRequest(2, false)));
  EXPECT_EQ(Counter(), "2 / 3");
  ExpectPlayingButtons();
  Click(IDC_PREV);
  ClearCalls();
  Click(IDC_PREV);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  ExpectPlayingButtons();

  // Playing on the last track, Next neither stops nor restarts it.
  Click(IDC_NEXT);
  Click(IDC_NEXT);
  ClearCalls();
  Click(IDC_NEXT);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  ExpectPlayingButtons();
}

TEST_F(PlayerTest, PlayWhilePlayingNeitherRestartsNorResetsTheCount) {
  Start(Tracks(3));
  Click(IDC_PLAY);
  recording::Tick();
  recording::Tick();
  ClearCalls();
  // The button is disabled; even a command sent to the dialog changes nothing.
  EXPECT_EQ(Click(IDC_PLAY), -1);
  EXPECT_EQ(OnCommand(recording::Dialog(), IDC_PLAY), TRUE);
  EXPECT_THAT(Calls(), IsEmpty());
  recording::Tick();
  EXPECT_EQ(Player.ElapsedSeconds, 3);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 3);
}

TEST_F(PlayerTest, OneTrackDiscPlaysToTheEndOfTheDisc) {
  Start(Tracks(1));
  EXPECT_EQ(Counter(), "1 / 1");
  Click(IDC_NEXT);
  Click(IDC_PREV);
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  Click(IDC_PLAY);
  EXPECT_THAT(CallsStartingWith("mci"), ElementsAre(PlayRequest(1, true)));
  EXPECT_EQ(recording::Requests().back().flags & MCI_TO, 0u);
  EndOfTrack();
  ExpectIdleButtons();
  EXPECT_EQ(Counter(), "1 / 1");
}

TEST_F(PlayerTest, SliderCountsSecondsAndStopsAtTheTrackLength) {
  recording::Disc disc = recording::AudioDisc({recording::Msf(0, 3, 74), recording::Msf(0, 2)});
  Start(disc);
  EXPECT_EQ(Ctl(IDC_SLIDER).rangeMin, 0);
  EXPECT_EQ(Ctl(IDC_SLIDER).rangeMax, 3);
  Click(IDC_PLAY);
  for (int i = 0; i < 5; i++) recording::Tick();
  // The count goes on; the trackbar clamps the thumb at the end.
  EXPECT_EQ(Player.ElapsedSeconds, 5);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 3);
  EXPECT_THAT(
      CallsStartingWith("SendMessageA(1002, TBM_SETPOS"),
      ElementsAre("SendMessageA(1002, TBM_SETPOS, 1, 1)", "SendMessageA(1002, TBM_SETPOS, 1, 2)",
                  "SendMessageA(1002, TBM_SETPOS, 1, 3)", "SendMessageA(1002, TBM_SETPOS, 1, 4)",
                  "SendMessageA(1002, TBM_SETPOS, 1, 5)"));
}

// The recording platform's slider clamps as the dialog manager's does, so
// what a scenario sees of the thumb is what the window shows; an inverted
// range included, which the player never sets but bad lengths could.
TEST_F(PlayerTest, SliderFollowsTheDialogManagersClamp) {
  Start(Tracks(1));
  HWND slider = GetDlgItem(recording::Dialog(), IDC_SLIDER);
  SendMessageA(slider, TBM_SETPOS, TRUE, 500);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 180);
  SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 40);
  SendMessageA(slider, TBM_SETRANGEMAX, FALSE, 10);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 40);
  SendMessageA(slider, TBM_SETPOS, TRUE, 0);
  EXPECT_EQ(Ctl(IDC_SLIDER).pos, 10);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 10);
}

TEST_F(PlayerTest, LengthsShowWholeMinutesAndSeconds) {
  std::vector<DWORD> lengths = {recording::Msf(4, 35, 62), recording::Msf(104, 7, 1)};
  Start(recording::AudioDisc(lengths));
  EXPECT_EQ(Length(), "04 : 35");
  EXPECT_EQ(Ctl(IDC_SLIDER).rangeMax, 275);

  Click(IDC_NEXT);
  EXPECT_EQ(Length(), "104 : 07");
  EXPECT_EQ(Ctl(IDC_SLIDER).rangeMax, 104 * 60 + 7);
  // The range is set before the position, with a redraw only at the end.
  EXPECT_THAT(CallsStartingWith("SendMessageA(1002"),
              ElementsAre("SendMessageA(1002, TBM_SETRANGEMAX, 0, 6247)",
                          "SendMessageA(1002, TBM_SETRANGEMIN, 0, 0)",
                          "SendMessageA(1002, TBM_SETPOS, 1, 0)"));

  // A length the device cannot give shows as nothing, not as garbage.
  recording::Disc failing = recording::AudioDisc(lengths);
  failing.failures[{MCI_STATUS, MCI_STATUS_LENGTH}] = MCIERR_HARDWARE;
  Start(failing);
  EXPECT_EQ(Length(), "00 : 00");
  EXPECT_EQ(Ctl(IDC_SLIDER).rangeMax, 0);
}

TEST_F(PlayerTest, OnlyTheTransportButtonsAreHandled) {
  Start(Tracks(3));
  for (int command : {IDOK, IDCANCEL, IDC_PAGE, IDC_SLIDER, IDC_TRACK})
    EXPECT_EQ(Click(command), FALSE) << command;
  EXPECT_THAT(CallsStartingWith("mci"), IsEmpty());
  EXPECT_FALSE(recording::DialogEnded());
  EXPECT_EQ(DialogProc(recording::Dialog(), WM_NULL, 0, 0), FALSE);
  // The notification code in the high word does not matter.
  EXPECT_EQ(DialogProc(recording::Dialog(), WM_COMMAND, IDC_NEXT | (1 << 16), 0), TRUE);
  EXPECT_EQ(Counter(), "2 / 3");
}

}  // namespace
