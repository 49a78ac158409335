// SPDX-License-Identifier: GPL-3.0-or-later
// What the device tells its watcher: the disc it loaded, with the titles
// its cue sheet gives, and the plays it starts, refuses and ends.
#include "platform/linux/cdaudio/watch.h"

#include <string>
#include <vector>

#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

class Recorder : public cdaudio::Watcher {
 public:
  void DiscLoaded(const disc::Disc& disc) override {
    events.push_back("loaded " + std::to_string(disc.table.tracks.size()));
    text = disc.text;
  }
  void Played(bool accepted) override { events.push_back(accepted ? "played" : "refused"); }
  void Stopped() override { events.push_back("stopped"); }

  std::vector<std::string> events;
  disc::DiscText text;
};

class WatchTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    cdaudio::Watch(&recorder_);
  }
  void TearDown() override {
    cdaudio::Watch(nullptr);
    DeviceTest::TearDown();
  }

  // Opens the sheet (over disc.bin) and reads its table; what the watcher
  // was told of the disc.
  disc::DiscText Load(const std::string& sheet) {
    WriteFile("disc.cue", sheet);
    DWORD_PTR count = 0;
    EXPECT_EQ(OpenSource(Path("disc.cue")), 0u);
    EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &count), 0u);
    EXPECT_EQ(Close(), 0u);
    return recorder_.text;
  }

  Recorder recorder_;
};

TEST_F(WatchTest, PlaysAreToldAsTheDeviceTakesThem) {
  MakeTracks({75, 75});
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  EXPECT_EQ(PlayTrack(1, 2, nullptr), 0u);
  EXPECT_EQ(Stop(), 0u);
  EXPECT_NE(PlayTrack(7, 2, nullptr), 0u);  // no such track
  EXPECT_EQ(PlayTrack(2, 2, nullptr), 0u);
  EXPECT_EQ(Close(), 0u);
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"loaded 2", "played", "stopped", "refused",
                                                        "played", "stopped"}));
}

TEST_F(WatchTest, TheSheetsTitlesAndPerformersReachTheWatcher) {
  MakeTracks({75, 75, 75});
  // The disc's lines come before the first TRACK, in any letter case; a
  // track's follow its TRACK, before or after its INDEX; a text may be
  // unquoted, and the sheet may name the album twice (the last counts).
  disc::DiscText text = Load(
      "performer \"The Ensemble\"\n"
      "TITLE \"First Name\"\n"
      "TITLE \"Nights\"\n"
      "FILE \"disc.bin\" BINARY\n"
      "  TRACK 01 AUDIO\n"
      "    TITLE \"Opening, live\"\n"
      "    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n"
      "    INDEX 01 00:01:00\n"
      "    PERFORMER Solo Voice  \r\n"
      "  TRACK 03 AUDIO\n"
      "    INDEX 01 00:02:00\n"
      "    title \"\"\n");
  EXPECT_EQ(text.disc.title, "Nights");
  EXPECT_EQ(text.disc.performer, "The Ensemble");
  ASSERT_EQ(text.tracks.size(), 3u);
  EXPECT_EQ(text.tracks[0].title, "Opening, live");
  EXPECT_EQ(text.tracks[0].performer, "");
  EXPECT_EQ(text.tracks[1].title, "");
  EXPECT_EQ(text.tracks[1].performer, "Solo Voice");
  EXPECT_EQ(text.tracks[2].title, "");

  // Code page 932, as the sheet is read: 夜 (0x96 0xE9) and ソ, whose
  // second byte is a backslash (0x83 0x5C), come out in UTF-8.
  text = Load(
      "TITLE \"\x96\xE9\x83\x5C\"\n"
      "FILE \"disc.bin\" BINARY\n"
      "  TRACK 01 AUDIO\n"
      "    INDEX 01 00:00:00\n");
  EXPECT_EQ(text.disc.title, "\xE5\xA4\x9C\xE3\x82\xBD");
  EXPECT_EQ(text.disc.performer, "");
  ASSERT_EQ(text.tracks.size(), 1u);
  EXPECT_EQ(text.tracks[0].title, "");
}

TEST_F(WatchTest, TheBinOpenedByItselfCarriesTheTitlesOfTheSheetBesideIt) {
  MakeTracks({75});
  WriteFile("disc.cue",
            "TITLE \"Beside\"\nFILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
            "    INDEX 01 00:00:00\n");
  DWORD_PTR count = 0;
  ASSERT_EQ(OpenSource(Path("disc.bin")), 0u);
  EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &count), 0u);
  EXPECT_EQ(Close(), 0u);
  EXPECT_EQ(recorder_.text.disc.title, "Beside");
  ASSERT_EQ(recorder_.text.tracks.size(), 1u);
  EXPECT_EQ(recorder_.text.tracks[0].title, "One");
}

}  // namespace
