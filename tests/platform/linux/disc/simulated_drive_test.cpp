// SPDX-License-Identifier: GPL-3.0-or-later
// The drive path over a simulated drive at the kernel's interface: found
// by the default search or by name, its table read through libcdio's
// GNU/Linux driver, its sectors read in plain batches at a quiet speed,
// and what a real drive does wrong met as a listener would want.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "platform/linux/disc/conceal.h"
#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sources.h"
#include "tests/temp_folder.h"
#include "tools/disc_image.h"
#include "tools/simdrive/journal.h"
#include "tools/simdrive/simdrive.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

class SimulatedDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    folder_ = temp_.Path();
    unsetenv("CDAUDIO_DEVICE");
    disc::QuietCdio();
  }
  void TearDown() override { simdrive::Install({}); }

  mkdisc::DiscImage MakeDisc(const std::string& name, std::vector<int> tracks,
                             const disc::DiscText& text = {}) {
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = tracks;
    spec.text = text;
    mkdisc::DiscImage image;
    std::string error;
    EXPECT_TRUE(mkdisc::WriteDiscImage(folder_ + "/" + name, spec, &image, &error)) << error;
    return image;
  }

  simdrive::DriveSetup Drive(const std::string& path, const mkdisc::DiscImage& image,
                             const std::string& faults) {
    simdrive::DriveSetup setup;
    setup.path = path;
    setup.image = image.sheetPath;
    setup.faults = faults;
    setup.control = folder_ + "/control";
    setup.journal = folder_ + "/journal";
    return setup;
  }

  // The disc in the default drive, with `faults`.
  mkdisc::DiscImage Insert(std::vector<int> tracks, const std::string& faults) {
    mkdisc::DiscImage image = MakeDisc("disc.cue", tracks);
    simdrive::Install({Drive("/dev/sr0", image, faults)});
    return image;
  }

  void Control(const std::string& text) {
    std::ofstream(folder_ + "/control.new") << text;
    ASSERT_EQ(rename((folder_ + "/control.new").c_str(), (folder_ + "/control").c_str()), 0);
  }

  int Journaled(const std::string& what) {
    return simdrive::JournalCount(folder_ + "/journal", what);
  }

  // Reads [lsn, lsn + count) in the worker's batches; false when a read failed.
  bool ReadAll(disc::SectorReader* reader, int32_t lsn, int32_t count, Bytes* out) {
    out->assign(static_cast<size_t>(count) * disc::SectorBytes, 0xEE);
    for (int32_t at = 0; at < count; at += reader->PreferredBatch()) {
      int32_t batch = std::min(reader->PreferredBatch(), count - at);
      if (!reader->Read(lsn + at, batch, out->data() + static_cast<size_t>(at) * disc::SectorBytes))
        return false;
    }
    return true;
  }

  tests::TempFolder temp_{"korvane-drive"};
  std::string folder_;
};

TEST_F(SimulatedDriveTest, TheDefaultDriveOrANamedOnePlaysExactlyAtAQuietSpeed) {
  mkdisc::DiscImage first = MakeDisc("first.cue", {300, 200});
  mkdisc::DiscImage second = MakeDisc("second.cue", {100, 100, 100});
  simdrive::Install({Drive("/dev/sr0", first, "speed=48"),
                     Drive("/dev/sr1", second, "speed=48;speed-ignored=yes")});
  ASSERT_EQ(disc::DefaultSource(), "/dev/sr0");

  disc::Disc loaded;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(disc::DefaultSource(), &loaded, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(loaded.table.tracks.size(), 2u);
  EXPECT_EQ(loaded.table.tracks[1].start, first.tracks[1].start);
  EXPECT_EQ(loaded.table.leadout, first.sectors);
  EXPECT_LE(Journaled("packet READ_CD"), 1) << "start-up reads no more than a sector";
  EXPECT_EQ(Journaled("speed ioctl 4x"), 1);

  Bytes read;
  ASSERT_TRUE(ReadAll(loaded.reader.get(), 0, first.sectors, &read));
  EXPECT_TRUE(read == mkdisc::ReadBin(first.binPath, 0, first.sectors));
  loaded = disc::Disc();

  // A second drive, chosen by name; one that takes the quiet speed and
  // reads on at full speed, as some do.
  setenv("CDAUDIO_DEVICE", "/dev/sr1", 1);
  ASSERT_EQ(disc::DefaultSource(), "/dev/sr1");
  ASSERT_EQ(disc::LoadDisc("/dev/sr1", &loaded, &why), disc::DiscState::Ready) << why;
  EXPECT_EQ(loaded.table.tracks.size(), 3u);
  ASSERT_TRUE(ReadAll(loaded.reader.get(), 150, 60, &read));
  EXPECT_TRUE(read == mkdisc::ReadBin(second.binPath, 150, 60));
  EXPECT_EQ(Journaled("speed ioctl 48x"), 1);
}

TEST_F(SimulatedDriveTest, TheDiscsCdTextGivesItsTitlesInJapaneseWhereItHasThem) {
  disc::DiscText text;
  text.disc = {"夜明けの歌", "ミカ"};
  text.tracks = {{"朝①～", ""}, {"", ""}};
  mkdisc::DiscImage titled = MakeDisc("titled.cue", {100, 100}, text);
  mkdisc::DiscImage plain = MakeDisc("plain.cue", {100});
  simdrive::Install({Drive("/dev/sr0", titled, ""), Drive("/dev/sr1", plain, "")});
  disc::Disc loaded;
  std::string why;
  ASSERT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::Ready) << why;
  EXPECT_EQ(loaded.text.disc.title, "夜明けの歌");
  EXPECT_EQ(loaded.text.disc.performer, "ミカ");
  ASSERT_EQ(loaded.text.tracks.size(), 2u);
  EXPECT_EQ(loaded.text.tracks[0].title, "朝①～");
  EXPECT_EQ(loaded.text.tracks[1].title, "");
  ASSERT_EQ(disc::LoadDisc("/dev/sr1", &loaded, &why), disc::DiscState::Ready) << why;
  EXPECT_EQ(loaded.text.disc.title, "");
  EXPECT_TRUE(loaded.text.tracks.empty());
}

// The stereo sample `frame` of `pcm`, channel `channel`.
int Sample(const Bytes& pcm, size_t frame, int channel) {
  const size_t at = frame * 4 + static_cast<size_t>(channel) * 2;
  return static_cast<int16_t>(pcm[at] | pcm[at + 1] << 8);
}

// The largest step from one sample to the next in frames [from, to).
int LargestStep(const Bytes& pcm, size_t from, size_t to) {
  int largest = 0;
  for (size_t frame = from + 1; frame < to; frame++)
    for (int c = 0; c < 2; c++)
      largest = std::max(largest, std::abs(Sample(pcm, frame, c) - Sample(pcm, frame - 1, c)));
  return largest;
}

// Frames [from, to) of `read` differ from `wanted` but lie on a line from
// the sample before to the one after: bridged, neither a click nor a hole.
void ExpectBridged(const Bytes& read, const Bytes& wanted, size_t from, size_t to) {
  EXPECT_NE(
      Bytes(read.begin() + static_cast<long>(from * 4), read.begin() + static_cast<long>(to * 4)),
      Bytes(wanted.begin() + static_cast<long>(from * 4),
            wanted.begin() + static_cast<long>(to * 4)));
  for (int c = 0; c < 2; c++) {
    const int left = Sample(wanted, from - 1, c), right = Sample(wanted, to, c);
    for (size_t frame = from; frame < to; frame++) {
      const double t = static_cast<double>(frame - from + 1) / static_cast<double>(to - from + 1);
      ASSERT_NEAR(Sample(read, frame, c), left + (right - left) * t, 1.0) << "frame " << frame;
    }
  }
}

TEST_F(SimulatedDriveTest, AScratchIsMendedAndADeepOneConcealedWithinTheCap) {
  mkdisc::DiscImage image =
      Insert({600}, "speed=48;latency=2;scratch=100-102:2;scratch=300-304:always");
  disc::Disc loaded;
  std::string why;
  ASSERT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::Ready) << why;
  Clock::time_point start = Clock::now();
  Bytes read;
  ASSERT_TRUE(ReadAll(loaded.reader.get(), 0, 600, &read)) << "a scratch is no reason to stop";
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  const Bytes wanted = mkdisc::ReadBin(image.binPath, 0, 600);
  for (int32_t sector = 0; sector < 600; sector++) {
    if (sector >= 300 && sector <= 304) continue;
    auto at = static_cast<long>(sector) * disc::SectorBytes;
    EXPECT_TRUE(
        std::equal(read.begin() + at, read.begin() + at + disc::SectorBytes, wanted.begin() + at))
        << "sector " << sector << ": 100-102 mended, the rest exact";
  }
  // The deep scratch fades out and back in: silent within, and no step
  // larger than the music's own.
  const size_t from = 300 * 588, to = 305 * 588;
  for (size_t frame = from + disc::FadeFrames; frame < to - disc::FadeFrames; frame++)
    ASSERT_EQ(Sample(read, frame, 0) | Sample(read, frame, 1), 0) << "frame " << frame;
  EXPECT_LE(LargestStep(read, from - 1, to + 1), LargestStep(wanted, 0, 600 * 588));
  int failed = Journaled("sense 3/11/00");
  EXPECT_GE(failed, 5);
  EXPECT_LE(failed, 120) << "the deep scratch was retried without end";
  EXPECT_LT(seconds, 10);
  fprintf(stderr, "600 sectors with two scratches: %.2f s, %d failed reads, %d reads\n", seconds,
          failed, Journaled("packet READ_CD"));
}

TEST_F(SimulatedDriveTest, ASlowBadSectorAndFlaggedSamplesAreConcealedInTime) {
  // The drive spends two seconds of its own retries on sector 100 before
  // it fails, naming it; sector 200 reads with a burst of wrong samples
  // that its C2 pointers flag, sector 250 with one they do not.
  mkdisc::DiscImage image =
      Insert({400},
             "speed=48;latency=2;retry-time=2000;scratch=100-100:always;wrong=200-200;"
             "wrong=250-250:unflagged");
  disc::Disc loaded;
  std::string why;
  ASSERT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::Ready) << why;
  Bytes read(400 * disc::SectorBytes);
  double longest = 0;
  for (int32_t at = 0; at < 400; at += 25) {
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(
        loaded.reader->Read(at, 25, read.data() + static_cast<size_t>(at) * disc::SectorBytes));
    longest = std::max(longest, std::chrono::duration<double>(Clock::now() - start).count());
  }
  // The drive's own retries were enough: the sector is given up at once,
  // well inside the five seconds the output still holds.
  EXPECT_EQ(Journaled("sense 3/11/00"), 1);
  EXPECT_LT(longest, 3.0);

  const Bytes wanted = mkdisc::ReadBin(image.binPath, 0, 400);
  ExpectBridged(read, wanted, 100 * 588, 101 * 588);
  ExpectBridged(read, wanted, 200 * 588 + 300, 200 * 588 + 450);
  auto same = [&](size_t from, size_t to) {
    return std::equal(read.begin() + static_cast<long>(from * 4),
                      read.begin() + static_cast<long>(to * 4),
                      wanted.begin() + static_cast<long>(from * 4));
  };
  EXPECT_TRUE(same(0, 100 * 588));
  EXPECT_TRUE(same(101 * 588, 200 * 588 + 300));
  EXPECT_TRUE(same(200 * 588 + 450, 250 * 588));
  // Unflagged, a wrong burst cannot be told from music: it plays as read.
  EXPECT_FALSE(same(250 * 588, 251 * 588));
  EXPECT_TRUE(same(251 * 588, 400 * 588));
}

TEST_F(SimulatedDriveTest, EmptyDriveOpenTrayAndADiscTakenOutAndPutBack) {
  mkdisc::DiscImage image = Insert({600}, "speed=48;disc=out");
  disc::Disc loaded;
  std::string why;
  EXPECT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::NoDisc);
  Control("tray=open");
  EXPECT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::NoDisc);

  Control("tray=closed;disc=in");
  ASSERT_EQ(disc::LoadDisc("/dev/sr0", &loaded, &why), disc::DiscState::Ready) << why;
  Control("eject-at=200");
  Bytes read;
  EXPECT_FALSE(ReadAll(loaded.reader.get(), 0, 300, &read));
  EXPECT_TRUE(loaded.reader->DiscGone());
  EXPECT_LE(Journaled("sense 2/3A/01"), 12) << "an empty drive is not asked again and again";
  EXPECT_FALSE(ReadAll(loaded.reader.get(), 0, 25, &read));

  Control("disc=in");
  ASSERT_TRUE(ReadAll(loaded.reader.get(), 250, 50, &read));
  EXPECT_FALSE(loaded.reader->DiscGone());
  EXPECT_TRUE(read == mkdisc::ReadBin(image.binPath, 250, 50));
  EXPECT_GE(Journaled("speed ioctl 4x"), 2) << "the disc put back is read quietly too";
}

TEST_F(SimulatedDriveTest, ANodeTheUserMayNotReadIsNamedWithItsGroup) {
  Insert({300}, "permission=no");
  EXPECT_EQ(disc::DefaultSource(), "") << "libcdio's search passes it by";
  std::string refusal, named;
  EXPECT_FALSE(disc::DefaultDrivesUsable(&refusal));
  EXPECT_NE(refusal.find("/dev/sr0"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("cdrom"), std::string::npos) << refusal;
  EXPECT_EQ(refusal.find('\n'), std::string::npos);
  EXPECT_FALSE(disc::DriveUsable("/dev/sr0", &named));
  EXPECT_EQ(named, refusal);

  Control("permission=yes");
  std::string none;
  EXPECT_TRUE(disc::DriveUsable("/dev/sr0", &none));
  EXPECT_TRUE(disc::DefaultDrivesUsable(&none));
  EXPECT_TRUE(disc::DriveUsable(folder_ + "/disc.cue", &none)) << "an image is no drive";
  EXPECT_EQ(none, "") << "nothing is said of a drive the user may read";
}

// With no drive named, the first drive in the kernel's order that holds a
// disc beginning with audio is played; when none does, the first drive is
// opened, and its state (empty, or a disc that begins with data) decides
// what the user is told.
TEST_F(SimulatedDriveTest, TheFirstDriveHoldingAnAudioDiscIsPlayedElseTheFirstDrive) {
  mkdisc::DiscImage audio = MakeDisc("audio.cue", {300, 200});
  mkdisc::DiscImageSpec dataSpec;
  dataSpec.dataFirst = 300;
  dataSpec.audioSectors = {225};
  mkdisc::DiscImage data;
  std::string error;
  ASSERT_TRUE(mkdisc::WriteDiscImage(folder_ + "/data.cue", dataSpec, &data, &error)) << error;
  // sr0 and sr1 in the kernel's order, with udev's /dev/cdrom link on one.
  auto install = [&](const std::string& first, const std::string& second,
                     const std::string& cdromOn, const std::string& firstFaults = "") {
    simdrive::DriveSetup sr0, sr1;
    sr0.path = "/dev/sr0";
    sr0.image = first;
    sr0.faults = firstFaults;
    sr1.path = "/dev/sr1";
    sr1.image = second;
    sr1.minor = 1;
    (cdromOn == "sr0" ? sr0 : sr1).links = {"/dev/cdrom"};
    simdrive::Install({sr0, sr1});
  };
  disc::Disc loaded;
  std::string why;

  install("", audio.sheetPath, "sr0");
  ASSERT_EQ(disc::DefaultSource(), "/dev/sr1") << "the empty first drive is passed by";
  ASSERT_EQ(disc::LoadDisc(disc::DefaultSource(), &loaded, &why), disc::DiscState::Ready) << why;
  EXPECT_EQ(loaded.table.tracks.size(), 2u);
  EXPECT_EQ(loaded.table.leadout, audio.sectors);

  install(data.sheetPath, audio.sheetPath, "sr0");
  EXPECT_EQ(disc::DefaultSource(), "/dev/sr1") << "a disc that begins with data is passed by";

  install("", "", "sr0");
  ASSERT_EQ(disc::DefaultSource(), "/dev/cdrom") << "the first drive, by the name found first";
  EXPECT_EQ(disc::LoadDisc(disc::DefaultSource(), &loaded, &why), disc::DiscState::NoDisc);

  install(data.sheetPath, "", "sr0");
  ASSERT_EQ(disc::DefaultSource(), "/dev/cdrom");
  ASSERT_EQ(disc::LoadDisc(disc::DefaultSource(), &loaded, &why), disc::DiscState::Ready) << why;
  EXPECT_FALSE(loaded.table.tracks[0].audio) << "the disc that will be refused for its data";

  // The kernel's order, not the search's: /dev/cdrom names the second
  // drive and is found first, but both hold audio and sr0 comes first.
  install(audio.sheetPath, data.sheetPath, "sr1");
  EXPECT_EQ(disc::Drives(), (std::vector<std::string>{"/dev/sr0", "/dev/cdrom"}));
  EXPECT_EQ(disc::DefaultSource(), "/dev/sr0");

  // A first drive the user may not read is no drive to the search.
  install(audio.sheetPath, audio.sheetPath, "sr0", "permission=no");
  EXPECT_EQ(disc::DefaultSource(), "/dev/sr1");

  setenv("CDAUDIO_DEVICE", "/dev/sr0", 1);
  EXPECT_EQ(disc::DefaultSource(), "/dev/sr0") << "a named drive is taken as it is";
}

}  // namespace
