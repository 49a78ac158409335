// SPDX-License-Identifier: GPL-3.0-or-later
// The device over a simulated drive at the kernel's interface, asked as
// the player asks: the default drive played bit-exact and gapless at a
// quiet speed in bursts, the refusals of an empty drive and of a node the
// user may not read, a scratch, a slow spin-up and a disc taken out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tests/timing.h"
#include "tools/simdrive/journal.h"
#include "tools/simdrive/simdrive.h"

namespace {

using Clock = std::chrono::steady_clock;

const HWND Window = reinterpret_cast<HWND>(0x1000);

class DriveDeviceTest : public DeviceTest {
 protected:
  void TearDown() override {
    DeviceTest::TearDown();
    simdrive::Install({});
  }

  mkdisc::DiscImage Insert(std::vector<int> tracks, const std::string& faults) {
    mkdisc::DiscImage image = MakeTracks(std::move(tracks));
    simdrive::DriveSetup setup;
    setup.path = "/dev/sr0";
    setup.image = image.sheetPath;
    setup.faults = faults;
    setup.control = Path("control");
    setup.journal = Path("journal");
    simdrive::Install({setup});
    return image;
  }

  void Control(const std::string& text) {
    WriteFile("control.new", text);
    ASSERT_EQ(rename(Path("control.new").c_str(), Path("control").c_str()), 0);
  }

  // The journal's READ CD commands: when each was asked, in milliseconds.
  std::vector<double> ReadTimes() {
    return simdrive::JournalTimes(Path("journal"), "packet READ_CD");
  }

  int Journaled(const std::string& what) { return simdrive::JournalCount(Path("journal"), what); }
};

// Where the first sound is in `captured`, in bytes; npos when silent.
size_t FirstSound(const Bytes& captured) {
  auto at = std::find_if(captured.begin(), captured.end(), [](uint8_t b) { return b != 0; });
  return at == captured.end() ? std::string::npos : static_cast<size_t>(at - captured.begin());
}

TEST_F(DriveDeviceTest, TheDefaultDrivePlaysTheDiscGaplessAndExactly) {
  CaptureOutput();
  mkdisc::DiscImage image = Insert({120, 90, 100}, "speed=48");
  ASSERT_EQ(OpenDefault(), 0u);
  DWORD_PTR type = 0;
  ASSERT_EQ(TrackType(1, &type), 0u);
  EXPECT_EQ(type, static_cast<DWORD_PTR>(MCI_CDA_TRACK_AUDIO));
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  for (DWORD track = 1; track <= 3; track++) {
    ASSERT_EQ(PlayTrack(track, 3, Window), 0u);
    ASSERT_EQ(NextCode(10), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL)) << track;
    ASSERT_EQ(Stop(), 0u);
  }
  ASSERT_EQ(Close(), 0u);
  Bytes captured = Captured();
  Bytes disc = mkdisc::ReadBin(image.binPath, 0, image.sectors);
  size_t first = FirstSound(captured);
  ASSERT_NE(first, std::string::npos);
  ASSERT_GE(captured.size(), first + disc.size());
  auto differ =
      std::mismatch(disc.begin(), disc.end(), captured.begin() + static_cast<long>(first));
  EXPECT_EQ(differ.first, disc.end())
      << "every sample of the disc, in order, with no gap at the track changes; sector "
      << (differ.first - disc.begin()) / 2352 << " differs";
  EXPECT_GE(Journaled("speed ioctl 4x"), 1);
}

TEST_F(DriveDeviceTest, ReadingForPlaybackComesInBurstsWithTheDriveIdleBetween) {
  CaptureOutput();
  Insert({1500}, "speed=24;latency=5");  // 20 seconds
  ASSERT_EQ(OpenDefault(), 0u);
  ASSERT_EQ(Play(0x000200, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  // A rest shows once the read after it has come: look until one has, or
  // for as long as two whole bursts take.
  std::vector<double> times;
  double longest = 0;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
       std::chrono::steady_clock::now() < until;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    times = ReadTimes();
    longest = 0;
    for (size_t i = 1; i < times.size(); i++) longest = std::max(longest, times[i] - times[i - 1]);
    if (times.size() > 10 && longest >= 2000) break;
  }
  ASSERT_GT(times.size(), 10u);
  double span = (times.back() - times.front()) / 1000;
  fprintf(stderr, "%zu reads over %.1f s (%.1f a second), longest rest %.0f ms\n", times.size(),
          span, times.size() / std::max(span, 0.001), longest);
  EXPECT_GE(longest, 2000) << "the drive never rested";
  EXPECT_GE(Journaled("speed ioctl 4x"), 1);
  ASSERT_EQ(Stop(), 0u);
}

TEST_F(DriveDeviceTest, AnEmptyDriveOrAnOpenTrayOpensButHasNoAudioTrack) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  Insert({300}, "disc=out");
  ASSERT_EQ(OpenDefault(), 0u) << "the drive is there";
  DWORD_PTR type = 0;
  EXPECT_NE(TrackType(1, &type), 0u);
  ASSERT_EQ(Close(), 0u);
  Control("tray=open");
  ASSERT_EQ(OpenDefault(), 0u);
  EXPECT_NE(TrackType(1, &type), 0u);
}

TEST_F(DriveDeviceTest, ANodeWithoutReadPermissionIsNotOpenedAndStderrSaysWhy) {
  Insert({300}, "permission=no");
  for (bool named : {false, true}) {
    ::testing::internal::CaptureStderr();
    MCIERROR error = named ? OpenSource("/dev/sr0") : OpenDefault();
    std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, static_cast<MCIERROR>(MCIERR_CANNOT_LOAD_DRIVER));
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    EXPECT_NE(told.find("/dev/sr0"), std::string::npos) << told;
    EXPECT_NE(told.find("adduser $USER cdrom"), std::string::npos) << told;
  }
}

TEST_F(DriveDeviceTest, AScratchPlaysOnConcealedWhereNothingCanBeRead) {
  CaptureOutput();
  mkdisc::DiscImage image =
      Insert({300, 200}, "speed=48;scratch=40-42:2;scratch=100-103:always;scratch=400-400:always");
  ASSERT_EQ(OpenDefault(), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  Clock::time_point start = Clock::now();
  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, Window), 0u);
  ASSERT_EQ(NextCode(15), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  ASSERT_EQ(Stop(), 0u);
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  ASSERT_EQ(NextCode(15), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_EQ(Close(), 0u);

  Bytes wanted = mkdisc::ReadBin(image.binPath, 0, image.sectors);
  Bytes captured = Captured();
  size_t first = FirstSound(captured);
  ASSERT_NE(first, std::string::npos);
  ASSERT_GE(captured.size(), first + wanted.size());
  captured.erase(captured.begin(), captured.begin() + static_cast<long>(first));
  captured.resize(wanted.size());
  // What could not be read is concealed: nothing else differs, and no
  // step there is larger than the music's own.
  auto step = [](const Bytes& pcm, int32_t from, int32_t to) {
    int largest = 0;
    for (size_t at = static_cast<size_t>(from) * 2352 + 4; at < static_cast<size_t>(to) * 2352;
         at += 2)
      largest = std::max(largest, std::abs(static_cast<int16_t>(pcm[at] | pcm[at + 1] << 8) -
                                           static_cast<int16_t>(pcm[at - 4] | pcm[at - 3] << 8)));
    return largest;
  };
  for (auto [from, to] : {std::pair{100, 104}, std::pair{400, 401}}) {
    EXPECT_LE(step(captured, from - 1, to + 1), step(wanted, 0, image.sectors)) << from;
    std::copy(wanted.begin() + from * 2352, wanted.begin() + to * 2352,
              captured.begin() + from * 2352);
  }
  EXPECT_TRUE(captured == wanted) << "mended where it could be, concealed where it could not";
  EXPECT_LT(seconds, 6.7 + 1 * TimeAllowance) << "the retries held playback up";
  fprintf(stderr, "scratched disc of 6.7 s played in %.1f s, %d failed reads\n", seconds,
          Journaled("sense 3/11/00"));
}

TEST_F(DriveDeviceTest, ADiscTakenOutMidPlayFailsThePlayAndTheNextUntilItIsBack) {
  CaptureOutput();
  Insert({2250}, "speed=24");  // 30 seconds
  ASSERT_EQ(OpenDefault(), 0u);
  DWORD_PTR type = 0;
  ASSERT_EQ(TrackType(1, &type), 0u);
  Control("eject-at=900");  // out when the reading ahead reaches 12 s in
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextCode(15), static_cast<WPARAM>(MCI_NOTIFY_FAILURE));
  // What the sound card still held may sound; nothing after it.
  const int heldMs = static_cast<int>(200 * TimeAllowance);
  size_t atFailure = Captured().size() + static_cast<size_t>(heldMs) * 44100 * 4 / 1000;
  std::this_thread::sleep_for(std::chrono::milliseconds(heldMs + 300));
  Bytes captured = Captured();
  ASSERT_GT(captured.size(), atFailure);
  EXPECT_EQ(FirstSound(Bytes(captured.begin() + static_cast<long>(atFailure), captured.end())),
            std::string::npos)
      << "sound went on after the disc was gone";

  Clock::time_point asked = Clock::now();
  ASSERT_EQ(Stop(), 0u);
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 0.2 * TimeAllowance);
  EXPECT_EQ(NextCode(5), static_cast<WPARAM>(MCI_NOTIFY_FAILURE));

  Control("disc=in");
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextCode(1.5), 0u) << "the disc is back: the play goes on";
  asked = Clock::now();
  ASSERT_EQ(Stop(), 0u);
  EXPECT_EQ(NextCode(1), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  ASSERT_EQ(Close(), 0u);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 2.0 * TimeAllowance);
}

TEST_F(DriveDeviceTest, AfterASlowSpinUpTheFirstSampleComesAsSoonAsTheDriveDeliversIt) {
  CaptureOutput();
  Insert({750}, "speed=24;spin-up=1500;spin-down=300;latency=10");
  ASSERT_EQ(OpenDefault(), 0u);
  DWORD_PTR type = 0;
  ASSERT_EQ(TrackType(1, &type), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the disc stops
  Clock::time_point asked = Clock::now();
  ASSERT_EQ(Play(0x000200, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  double returned = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
  EXPECT_LT(returned, 100 * TimeAllowance) << "PLAY waited for the drive";
  double heard = -1;
  while (std::chrono::duration<double>(Clock::now() - asked).count() < 5) {
    Bytes captured = Captured();
    if (FirstSound(captured) != std::string::npos) {
      heard = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  fprintf(stderr, "PLAY returned in %.1f ms; first sample after %.0f ms (spin-up 1500 ms)\n",
          returned, heard);
  EXPECT_GE(heard, 1500);
  EXPECT_LT(heard, 1500 + 500 * TimeAllowance);
  ASSERT_EQ(Stop(), 0u);
}

}  // namespace
