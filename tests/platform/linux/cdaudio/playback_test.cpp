// SPDX-License-Identifier: GPL-3.0-or-later
// Playing through SDL's disk driver: what it captures must be exactly the
// disc's sectors for the range asked, the player's stop-and-play cycle
// must lose or insert nothing, and each request must be answered with
// the platform's notifications.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tests/timing.h"
#include "tools/rip_image.h"

namespace {

using Clock = std::chrono::steady_clock;

const HWND NotifyWindow = reinterpret_cast<HWND>(0x1000);
const size_t BytesPerMs = 44100 * 4 / 1000;

class PlaybackTest : public DeviceTest {
 protected:
  // Waits until `wanted` has sounded in full; the capture by then.
  Bytes WaitForCapture(const Bytes& wanted, double seconds = 5) {
    Bytes captured;
    for (auto until = Clock::now() + std::chrono::duration<double>(seconds);
         Clock::now() < until;) {
      captured = Captured();
      if (FindBytes(captured, wanted) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return captured;
  }

  // The next notification; fails the test when none comes in time.
  WPARAM NextNotification(HWND window = NotifyWindow, double seconds = 5) {
    Posted posted{};
    if (!WaitPosted(&posted, seconds)) {
      ADD_FAILURE() << "no notification";
      return 0;
    }
    EXPECT_EQ(posted.message, static_cast<UINT>(MM_MCINOTIFY));
    EXPECT_EQ(posted.window, window);
    EXPECT_EQ(posted.device, static_cast<LPARAM>(id_));
    return posted.code;
  }

  // Plays track 2 of `sheet` to the start of track 3: `wanted` must sound,
  // alone, and the play be told it succeeded. After completion the tail
  // still sounds, through a STOP and a CLOSE.
  void PlaysTrackTwoAlone(const std::string& sheet, const Bytes& wanted) {
    ASSERT_EQ(OpenSource(sheet), 0u);
    ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
    ASSERT_EQ(Play(2, 3, MCI_NOTIFY | MCI_FROM | MCI_TO, NotifyWindow), 0u);
    EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
    ASSERT_EQ(Stop(), 0u);
    ASSERT_EQ(Close(), 0u);
    EXPECT_TRUE(SoundedAlone(Captured(), wanted));
    EXPECT_TRUE(TakePosted().empty());
  }

  // An image of another kind, made as `other` asks, must play exactly the
  // samples of the cue sheet of the same disc.
  void PlaysLikeTheCue(mkdisc::DiscImageSpec other, const std::string& name) {
    CaptureOutput();
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = {40, 30, 35};
    mkdisc::DiscImage cue = MakeImage(spec, "disc.cue");
    other.audioSectors = spec.audioSectors;
    other.binName = "other.bin";
    mkdisc::DiscImage image = MakeImage(other, name);
    PlaysTrackTwoAlone(image.sheetPath, mkdisc::ReadBin(cue.binPath, 40, 30));
  }

  // A .toc's bin in the byte order `swap` asks.
  void PlaysATocBitExactly(bool swap) {
    mkdisc::DiscImageSpec spec;
    spec.toc = true;
    spec.swap = swap;
    PlaysLikeTheCue(spec, "disc.toc");
  }

  // As the player runs a disc: on each track's success, STOP, then PLAY
  // the next, the last one without MCI_TO. The whole disc must sound, every
  // sample once, across its files and gaps.
  void RunsTheDiscWithoutAGap(const mkdisc::DiscImage& image) {
    ASSERT_EQ(OpenSource(image.sheetPath), 0u);
    ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
    DWORD tracks = static_cast<DWORD>(image.tracks.size());
    for (DWORD track = 1; track <= tracks; track++) {
      ASSERT_EQ(PlayTrack(track, tracks, NotifyWindow), 0u);
      ASSERT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL)) << track;
      ASSERT_EQ(Stop(), 0u);
    }
    Bytes disc = mkdisc::ReadBin(image.binPath, 0, image.sectors);
    ASSERT_EQ(disc.size(), static_cast<size_t>(image.sectors) * 2352);
    EXPECT_TRUE(SoundedAlone(WaitForCapture(disc), disc));
  }

  // A disc of three tracks with pregaps, ripped as `rip` asks.
  mkdisc::DiscImage Rip(const mkdisc::RipSpec& rip) {
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = {45, 30, 40};
    spec.pregap = 5;
    mkdisc::DiscImage image = MakeImage(spec);
    std::string error;
    EXPECT_TRUE(mkdisc::WriteRip(image, rip, &error)) << error;
    return image;
  }
};

}  // namespace

TEST_F(PlaybackTest, PlaysExactlyTheSectorsOfTheTrackAsked) {
  CaptureOutput();
  mkdisc::DiscImage image = MakeTracks({40, 30, 35});
  PlaysTrackTwoAlone(image.sheetPath, mkdisc::ReadBin(image.binPath, 40, 30));
}

TEST_F(PlaybackTest, PlaysATocsBigEndianAudioAsTheDiscsSamples) { PlaysATocBitExactly(false); }

TEST_F(PlaybackTest, PlaysATocsSwappedAudioAsTheDiscsSamples) { PlaysATocBitExactly(true); }

TEST_F(PlaybackTest, PlaysAnNrgsAudioAsTheDiscsSamples) {
  mkdisc::DiscImageSpec spec;
  spec.nrg = true;
  PlaysLikeTheCue(spec, "disc.nrg");
}

// The older footer and chunks, and the track-at-once layouts, whose gaps
// the file leaves out: the same samples, the gaps silent.
TEST_F(PlaybackTest, PlaysAnOldDiscAtOnceNrgsAudioAsTheDiscsSamples) {
  mkdisc::DiscImageSpec spec;
  spec.nrg = true;
  spec.nrgLayout = mkdisc::NrgLayout::DaoOld;
  PlaysLikeTheCue(spec, "disc.nrg");
}

TEST_F(PlaybackTest, PlaysATrackAtOnceNrgsAudioAsTheDiscsSamples) {
  mkdisc::DiscImageSpec spec;
  spec.nrg = true;
  spec.nrgLayout = mkdisc::NrgLayout::TaoNew;
  PlaysLikeTheCue(spec, "disc.nrg");
}

TEST_F(PlaybackTest, PlaysAnOldTrackAtOnceNrgsAudioAsTheDiscsSamples) {
  mkdisc::DiscImageSpec spec;
  spec.nrg = true;
  spec.nrgLayout = mkdisc::NrgLayout::TaoOld;
  PlaysLikeTheCue(spec, "disc.nrg");
}

TEST_F(PlaybackTest, ThePlayersStopAndPlayCycleRunsTheDiscWithoutAGap) {
  CaptureOutput();
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {45, 30, 40};
  spec.pregap = 5;
  RunsTheDiscWithoutAGap(MakeImage(spec));
}

TEST_F(PlaybackTest, TheCycleRunsASingleFileFlacRipBitExact) {
  CaptureOutput();
  mkdisc::RipSpec rip;
  rip.layout = mkdisc::RipLayout::OneFile;
  rip.extension = "flac";
  RunsTheDiscWithoutAGap(Rip(rip));
}

TEST_F(PlaybackTest, TheCycleRunsAFilePerTrackWavRipAcrossItsFilesBitExact) {
  CaptureOutput();
  mkdisc::RipSpec rip;
  rip.layout = mkdisc::RipLayout::PregapInPrevious;
  rip.extension = "wav";
  rip.trimFrames = 300;  // each file's last sector made up with silence
  RunsTheDiscWithoutAGap(Rip(rip));
}

TEST_F(PlaybackTest, OnePlayRunsThroughAnAiffRipsFilesToTheEnd) {
  CaptureOutput();
  mkdisc::RipSpec rip;
  rip.layout = mkdisc::RipLayout::PregapInOwn;
  rip.extension = "aiff";
  mkdisc::DiscImage image = Rip(rip);
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  ASSERT_EQ(Stop(), 0u);
  Bytes disc = mkdisc::ReadBin(image.binPath, 0, image.sectors);
  EXPECT_TRUE(SoundedAlone(WaitForCapture(disc), disc));
}

TEST_F(PlaybackTest, StopSilencesAPlayAtOnceAndAbortsIt) {
  CaptureOutput();
  mkdisc::DiscImage image = MakeTracks({225});  // three seconds
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(Play(0x000200, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow),
            0u);  // MSF 00:02:00, the disc's start
  Bytes opening = mkdisc::ReadBin(image.binPath, 0, 20);
  WaitForCapture(opening);
  ASSERT_EQ(Stop(), 0u);
  size_t atStop = Captured().size();
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Bytes captured = Captured();

  // What sounded is the track's beginning, and within 50 ms of the stop
  // the output is silent.
  Bytes track = mkdisc::ReadBin(image.binPath, 0, 225);
  auto first = std::find_if(captured.begin(), captured.end(), [](uint8_t b) { return b != 0; });
  auto last =
      std::find_if(captured.rbegin(), captured.rend(), [](uint8_t b) { return b != 0; }).base();
  ASSERT_LT(first, last);
  size_t played = static_cast<size_t>(last - first);
  EXPECT_LT(played, track.size());
  EXPECT_TRUE(std::equal(first, last, track.begin()));
  EXPECT_LE(static_cast<size_t>(last - captured.begin()),
            atStop + static_cast<size_t>(50 * TimeAllowance) * BytesPerMs);
}

// The mode and position a window may ask for while it waits for a range:
// playing from PLAY, stopped before it and once STOP has cut it short; the
// position where the sound is, staying where STOP cut it, and at the end of
// a range that has sounded out.
TEST_F(PlaybackTest, TheModeAndPositionSayWhereThePlayIs) {
  CaptureOutput();
  mkdisc::DiscImage image = MakeTracks({225, 75});  // three seconds, then one
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  auto mode = [&] {
    DWORD_PTR value = 0;
    EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_MODE, 0, &value), 0u);
    return value;
  };
  auto position = [&] {  // in sectors from the disc's start, read from TMSF
    DWORD_PTR value = 0;
    EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_POSITION, 0, &value), 0u);
    int32_t within = static_cast<int32_t>(((value >> 8 & 0xFF) * 60 + (value >> 16 & 0xFF)) * 75 +
                                          (value >> 24 & 0xFF));
    return (value & 0xFF) == 2 ? 225 + within : within;
  };
  EXPECT_EQ(mode(), static_cast<DWORD_PTR>(MCI_MODE_STOP));
  EXPECT_EQ(position(), 0);

  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, NotifyWindow), 0u);
  EXPECT_EQ(mode(), static_cast<DWORD_PTR>(MCI_MODE_PLAY));
  WaitForCapture(mkdisc::ReadBin(image.binPath, 0, 60));
  int32_t early = position();
  WaitForCapture(mkdisc::ReadBin(image.binPath, 0, 90));
  int32_t later = position();
  EXPECT_GT(later, early);
  EXPECT_LT(later, 225);

  ASSERT_EQ(Stop(), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  EXPECT_EQ(mode(), static_cast<DWORD_PTR>(MCI_MODE_STOP));
  int32_t stopped = position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(position(), stopped);
  // Where the sound stopped: behind what the output took from the device
  // (the capture, up to its last sample of the disc's: SDL writes on the
  // silence it plays after the stop, the longer the slower the machine)
  // by no more than the output's buffer.
  Bytes captured = Captured();
  auto sound = [](uint8_t b) { return b != 0; };
  auto first = std::find_if(captured.begin(), captured.end(), sound);
  auto last = std::find_if(captured.rbegin(), captured.rend(), sound).base();
  auto taken = static_cast<int32_t>((last - first + 2351) / 2352);
  EXPECT_LE(stopped, taken);
  EXPECT_GE(stopped, taken - 30) << "taken " << taken;

  // On from there: the range sounds out, and the position is its end.
  ASSERT_EQ(
      Play(static_cast<DWORD>(stopped / 75) << 16 | static_cast<DWORD>(stopped % 75) << 24 | 1, 2,
           MCI_NOTIFY | MCI_FROM | MCI_TO, NotifyWindow),
      0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  WaitForCapture(mkdisc::ReadBin(image.binPath, stopped, 225 - stopped));
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(300 * TimeAllowance)));
  EXPECT_EQ(mode(), static_cast<DWORD_PTR>(MCI_MODE_STOP));
  EXPECT_EQ(position(), 225);
  DWORD_PTR start = 0;
  ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_POSITION, 2, &start), 0u);
  EXPECT_EQ(start, 2u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_MSF), 0u);
  ASSERT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_POSITION, 0, &start), 0u);
  EXPECT_EQ(start, 0x000500u);  // 00:05:00, track 2's start
}

TEST_F(PlaybackTest, EachPendingPlayIsToldHowItEnded) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  MakeTracks({150, 150});
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  HWND first = reinterpret_cast<HWND>(0x11), second = reinterpret_cast<HWND>(0x12),
       third = reinterpret_cast<HWND>(0x13);

  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, first), 0u);
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, second), 0u);
  EXPECT_EQ(NextNotification(first), static_cast<WPARAM>(MCI_NOTIFY_SUPERSEDED));
  ASSERT_EQ(Play(1, 0, MCI_FROM, nullptr), 0u);  // no notify: the pending one is aborted
  EXPECT_EQ(NextNotification(second), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  ASSERT_EQ(Stop(MCI_NOTIFY, third), 0u);  // the stop itself succeeds
  EXPECT_EQ(NextNotification(third), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));

  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, first), 0u);
  MCIDEVICEID id = id_;
  ASSERT_EQ(Close(), 0u);
  id_ = id;
  EXPECT_EQ(NextNotification(first), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  id_ = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(TakePosted().empty());
}

TEST_F(PlaybackTest, AnImageCutShortDuringPlayEndsItWithFailure) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  mkdisc::DiscImage image = MakeTracks({300});
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  DWORD_PTR type;
  ASSERT_EQ(TrackType(1, &type), 0u);  // the table is read while the bin is whole
  ASSERT_EQ(truncate(image.binPath.c_str(), 100 * 2352 + 1000), 0);
  ASSERT_EQ(Play(0x000200, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow), 0u);
  EXPECT_EQ(NextNotification(NotifyWindow, 10), static_cast<WPARAM>(MCI_NOTIFY_FAILURE));
  ASSERT_EQ(Stop(), 0u);
}

TEST_F(PlaybackTest, WithoutAnyAudioOutputPlaysSilentlyInRealTimeAndTriesAgainAtTheNextPlay) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  mkdisc::DiscImage image = MakeTracks({150, 30});  // two seconds, then 0.4
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  auto start = Clock::now();
  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, NotifyWindow), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  // The success comes when all but the last quarter second has sounded,
  // by the clock: not sooner, as a free-running output would have it.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1750 - 20));
  ASSERT_EQ(Stop(), 0u);

  // An output that is there by the next PLAY is used.
  CaptureOutput();
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  Bytes track2 = mkdisc::ReadBin(image.binPath, 150, 30);
  EXPECT_TRUE(SoundedAlone(WaitForCapture(track2), track2));
}

// A sound card whose opening blocks (here SDL's disk driver writing into a
// FIFO that no one reads yet) holds up the worker, never the window: the
// position and STOP answer at once meanwhile.
TEST_F(PlaybackTest, AnOutputSlowToOpenNeverHoldsUpTheWindow) {
  mkdisc::DiscImage image = MakeTracks({150});
  std::string fifo = Path("card");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", fifo.c_str(), 1);
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the worker is in the open

  auto asked = Clock::now();
  DWORD_PTR position = 0;
  EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_POSITION, 0, &position), 0u);
  ASSERT_EQ(Stop(), 0u);
  EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(static_cast<int>(100 * TimeAllowance)));
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));

  // The card opens at last; it is read until the device lets it go.
  int card = open(fifo.c_str(), O_RDONLY);
  ASSERT_GE(card, 0);
  std::thread reader([card] {
    char buffer[4096];
    while (read(card, buffer, sizeof buffer) > 0) {
    }
  });
  EXPECT_EQ(Close(), 0u);
  reader.join();
  close(card);
}

TEST_F(PlaybackTest, APlayToTheEndStopsAtTheLastAudioSectorBeforeADataSession) {
  CaptureOutput();
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {30, 40};
  spec.dataSession = 20;
  mkdisc::DiscImage image = MakeImage(spec);
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, NotifyWindow), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  Bytes track2 = mkdisc::ReadBin(image.binPath, 30, 40);
  EXPECT_TRUE(SoundedAlone(WaitForCapture(track2), track2));
}
