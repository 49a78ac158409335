// SPDX-License-Identifier: GPL-3.0-or-later
// A run from its start to its end: the disc accepted or refused, the close
// sequence and the entry point.
#include "tests/player/player_fixture.h"

using recording::Calls;
using recording::CallsStartingWith;
using recording::Click;
using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

// Code page 932 bytes of the two warnings.
const std::string NoDevice =
    "\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xaa\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82"
    "\xb5\x82\xbd";
const std::string NoAudio =
    "CD "
    "\x83\x49\x81\x5b\x83\x66\x83\x42\x83\x49\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x93\xfc\x82"
    "\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

const char* const Open = "mciSendCommandA(0, MCI_OPEN, 0x2000, no callback, type cdaudio)";
const char* const TrackType =
    "mciSendCommandA(7, MCI_STATUS, 0x0110, no callback, item 0x4001, track 1)";
const char* const TimeFormat = "mciSendCommandA(7, MCI_SET, 0x0400, no callback, format 10)";
const char* const TrackCount =
    "mciSendCommandA(7, MCI_STATUS, 0x0100, no callback, item 0x0003, track 0)";
const char* const Close = "mciSendCommandA(7, MCI_CLOSE, 0x0000, no record)";

const std::vector<std::string> Images = {
    "GetModuleHandleA(NULL)",
    "LoadImageA(101, IMAGE_ICON, 16, 16, 0)",
    "SendMessageA(dialog, WM_SETICON, 0, icon 101)",
    "LoadImageA(104, IMAGE_BITMAP, 16, 16, 0)",
    "LoadImageA(105, IMAGE_BITMAP, 16, 16, 0)",
    "LoadImageA(106, IMAGE_BITMAP, 16, 16, 0)",
    "LoadImageA(107, IMAGE_BITMAP, 16, 16, 0)",
    "LoadImageA(108, IMAGE_BITMAP, 16, 16, 0)",
    "SendMessageA(1005, BM_SETIMAGE, 0, bitmap 104)",
    "SendMessageA(1006, BM_SETIMAGE, 0, bitmap 105)",
    "SendMessageA(1008, BM_SETIMAGE, 0, bitmap 106)",
    "SendMessageA(1007, BM_SETIMAGE, 0, bitmap 107)",
    "SendMessageA(1009, BM_SETIMAGE, 0, bitmap 108)",
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The refusal path: warning, close sequence inside the start-up, then the
// rest of the start-up on a window that will never show.
std::vector<std::string> Refusal(const std::string& text, std::vector<std::string> requests) {
  std::vector<std::string> calls = Concat({"DialogProc(WM_INITDIALOG)"}, Images);
  calls = Concat(calls, requests);
  return Concat(
      calls, {"MessageBoxA(dialog, " + text + ", Korvane Ver 1.00, 0x30)",
              "SendMessageA(dialog, WM_CLOSE, 0, 0)", requests.size() > 1 ? Close : "(no close)",
              "GetWindowRect(dialog)", "WritePrivateProfileStringA(KORVANE, x, 462, korvane.ini)",
              "WritePrivateProfileStringA(KORVANE, y, 334, korvane.ini)", "EndDialog(dialog, 0)",
              "GetPrivateProfileIntA(KORVANE, x, 100, korvane.ini)",
              "GetPrivateProfileIntA(KORVANE, y, 100, korvane.ini)",
              "SetWindowPos(dialog, NULL, 462, 334, 0, 0, 0x0005)", "EnableWindow(1006, 0)"});
}

std::vector<std::string> Without(std::vector<std::string> calls, const std::string& line) {
  calls.erase(std::remove(calls.begin(), calls.end(), line), calls.end());
  return calls;
}

class StartupTest : public PlayerTest {};

TEST_F(StartupTest, AcceptedDiscShowsTrackOneAtTheStoredPosition) {
  Run(Tracks(9));
  std::vector<std::string> expected = Concat({"DialogProc(WM_INITDIALOG)"}, Images);
  expected =
      Concat(expected,
             {Open, TrackType, TimeFormat, TrackCount, "SetDlgItemTextA(dialog, 1000, 1 / 9)",
              LengthRequest(1), "SetDlgItemTextA(dialog, 1004, 03 : 00)",
              "SendMessageA(1002, TBM_SETRANGEMAX, 0, 180)",
              "SendMessageA(1002, TBM_SETRANGEMIN, 0, 0)", "SendMessageA(1002, TBM_SETPOS, 1, 0)",
              "GetPrivateProfileIntA(KORVANE, x, 100, korvane.ini)",
              "GetPrivateProfileIntA(KORVANE, y, 100, korvane.ini)",
              "SetWindowPos(dialog, NULL, 100, 100, 0, 0, 0x0005)", "EnableWindow(1006, 0)"});
  EXPECT_THAT(Calls(), ElementsAreArray(expected));
  EXPECT_FALSE(recording::DialogEnded());
  EXPECT_FALSE(Ctl(IDC_STOP).enabled);
  EXPECT_TRUE(Ctl(IDC_PLAY).enabled);
  EXPECT_FALSE(recording::TimerRunning());
  EXPECT_TRUE(Player.DeviceOpen);
  EXPECT_EQ(Player.DeviceId, 7u);
  EXPECT_EQ(Player.TrackCount, 9);

  // The open record names the type only: no element, no alias, no sharing.
  const recording::Request& open = recording::Requests().front();
  EXPECT_EQ(open.device, 0u);
  EXPECT_FALSE(open.hasElement);
  EXPECT_FALSE(open.hasAlias);
}

TEST_F(StartupTest, DeviceThatCannotBeOpenedIsReportedAndNothingIsClosed) {
  recording::Disc disc = Tracks(9);
  disc.openResult = MCIERR_CANNOT_LOAD_DRIVER;
  Run(disc);
  EXPECT_THAT(Calls(), ElementsAreArray(Without(Refusal(NoDevice, {Open}), "(no close)")));
  EXPECT_TRUE(recording::DialogEnded());
  EXPECT_FALSE(Player.DeviceOpen);
  // The position written is the centred one the window was created at.
  EXPECT_EQ(recording::Profile()["KORVANE/x"], "462");
  EXPECT_EQ(recording::Profile()["KORVANE/y"], "334");
  // Nothing reaches the player afterwards.
  EXPECT_EQ(Click(IDC_PLAY), -1);
}

TEST_F(StartupTest, DiscWithoutAudioFirstIsRefusedAndTheDeviceClosed) {
  recording::Disc data = Tracks(9);
  data.types = {MCI_CDA_TRACK_OTHER};
  recording::Disc empty = Tracks(9);  // an empty drive cannot read its table of contents
  empty.failures[{MCI_STATUS, MCI_CDA_STATUS_TYPE_TRACK}] = MCIERR_DEVICE_NOT_READY;
  recording::Disc blank = Tracks(0);  // no track 1 to ask about

  for (const recording::Disc& disc : {data, empty, blank}) {
    Run(disc);
    EXPECT_THAT(Calls(), ElementsAreArray(Refusal(NoAudio, {Open, TrackType})));
    EXPECT_TRUE(recording::DialogEnded());
    EXPECT_TRUE(Player.DeviceOpen);
  }
}

TEST_F(StartupTest, DiscWithoutAUsableTrackCountIsRefused) {
  // Without a count Next would have no bound and walk off the disc.
  recording::Disc zero = Tracks(2);
  zero.trackCount = 0;
  recording::Disc failing = Tracks(2);
  failing.failures[{MCI_STATUS, MCI_STATUS_NUMBER_OF_TRACKS}] = MCIERR_HARDWARE;
  recording::Disc absurd = Tracks(2);
  absurd.trackCount = 0xFFFFFFFF;

  for (const recording::Disc& disc : {zero, failing, absurd}) {
    Run(disc);
    EXPECT_THAT(Calls(),
                ElementsAreArray(Refusal(NoAudio, {Open, TrackType, TimeFormat, TrackCount})));
    EXPECT_TRUE(recording::DialogEnded());
  }
}

TEST_F(StartupTest, CloseWhilePlayingStopsBeforeClosingAndSavesLast) {
  Run(Tracks(3));
  Click(IDC_PLAY);
  recording::ClearCalls();
  EXPECT_EQ(recording::CloseButton(), TRUE);
  EXPECT_THAT(Calls(), ElementsAre("DialogProc(WM_CLOSE)", StopRequest,
                                   "PostMessageA(dialog, MM_MCINOTIFY, 4, 7)",
                                   "EnableWindow(1006, 0)", "EnableWindow(1005, 1)",
                                   "KillTimer(dialog, 1)", Close, "GetWindowRect(dialog)",
                                   "WritePrivateProfileStringA(KORVANE, x, 100, korvane.ini)",
                                   "WritePrivateProfileStringA(KORVANE, y, 100, korvane.ini)",
                                   "EndDialog(dialog, 0)"));
  // The aborted play's notification arrives after the end and goes nowhere.
  EXPECT_EQ(recording::DeliverPosted(), 0);
}

TEST_F(StartupTest, EntryPointRunsTheDialogAndExitsWithZero) {
  Player = InitialPlayerState;
  recording::Reset(Tracks(3));
  recording::SetDialogScript([] {
    Click(IDC_PLAY);
    recording::CloseButton();
  });
  try {
    WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
    ADD_FAILURE() << "WinMain returned instead of ending the process";
  } catch (const recording::ProcessExit& exit) {
    EXPECT_EQ(exit.code, 0u);
  }
  const std::vector<std::string>& calls = Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], "InitCommonControls()");
  EXPECT_EQ(calls[1], "GetModuleHandleA(NULL)");
  EXPECT_EQ(calls[2], "DialogBoxParamA(102, NULL, 0)");
  EXPECT_EQ(calls.back(), "ExitProcess(0)");
  EXPECT_THAT(CallsStartingWith("mci").back(), Close);
}

}  // namespace
