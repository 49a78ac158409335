// SPDX-License-Identifier: GPL-3.0-or-later
// Cue sheets over audio files, as ripping programs leave them: every layout
// must give the table and every sample of the same disc as a bin, the
// files be found as a person would find them, and what cannot be played be
// refused naming the file and the reason.
#include <unistd.h>

#include <algorithm>

#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sources.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tools/audio_writer.h"
#include "tools/rip_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Silent(const Bytes& bytes, size_t from, size_t count) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](uint8_t b) { return b == 0; });
}

class CueRipTest : public DeviceTest {
 protected:
  // A disc of three tracks with pregaps, ripped as `rip` asks.
  mkdisc::DiscImage Rip(const mkdisc::RipSpec& rip, const std::string& name = "album.cue") {
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = {40, 30, 35};
    spec.pregap = 5;
    mkdisc::DiscImage image = MakeImage(spec, name);
    std::string error;
    EXPECT_TRUE(mkdisc::WriteRip(image, rip, &error)) << error;
    return image;
  }

  // Loads `sheet`; every sector of it.
  Bytes Load(const std::string& sheet, disc::Disc* disc) {
    std::string why;
    disc::DiscState state = disc::LoadDisc(sheet, disc, &why);
    EXPECT_EQ(state, disc::DiscState::Ready) << why;
    if (state != disc::DiscState::Ready) return {};
    Bytes all(static_cast<size_t>(disc->table.leadout) * 2352);
    EXPECT_TRUE(disc->reader->Read(0, disc->table.leadout, all.data()));
    return all;
  }

  // The rip plays as the disc it came from: the same table, every sample.
  void ExpectTheDisc(const mkdisc::DiscImage& image) {
    disc::Disc disc;
    Bytes all = Load(image.sheetPath, &disc);
    ASSERT_EQ(disc.table.tracks.size(), image.tracks.size());
    for (size_t i = 0; i < image.tracks.size(); i++) {
      EXPECT_EQ(disc.table.tracks[i].start, image.tracks[i].start) << i;
      EXPECT_EQ(disc.table.tracks[i].pregap, image.tracks[i].pregap) << i;
    }
    EXPECT_EQ(disc.table.leadout, image.sectors);
    EXPECT_TRUE(all == mkdisc::ReadBin(image.binPath, 0, image.sectors));
  }

  std::string Refusal(const std::string& sheet) {
    disc::Disc disc;
    std::string why;
    EXPECT_EQ(disc::LoadDisc(Path(sheet), &disc, &why), disc::DiscState::Unreadable);
    EXPECT_EQ(why.find(Path(sheet)), 0u) << why;
    EXPECT_FALSE(disc.reader);
    return why;
  }
};

}  // namespace

TEST_F(CueRipTest, EveryLayoutPlaysTheDiscItCameFrom) {
  struct Case {
    mkdisc::RipLayout layout;
    const char* extension;
    const char* typeWord;
    int trim;
  } cases[] = {
      {mkdisc::RipLayout::OneFile, "flac", "", 0},
      {mkdisc::RipLayout::OneFile, "flac", "FLAC", 0},
      {mkdisc::RipLayout::OneFile, "aiff", "MP3", 0},  // some tools' word for any audio file
      {mkdisc::RipLayout::OneFile, "wav", "", 1},
      {mkdisc::RipLayout::PregapInPrevious, "wav", "", 0},
      {mkdisc::RipLayout::PregapInPrevious, "flac", "", 587},
      {mkdisc::RipLayout::PregapInOwn, "aiff", "", 0},
      {mkdisc::RipLayout::PregapInOwn, "wav", "", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + c.typeWord + " layout " +
                 std::to_string(static_cast<int>(c.layout)) + " trim " + std::to_string(c.trim));
    mkdisc::RipSpec rip;
    rip.layout = c.layout;
    rip.extension = c.extension;
    rip.typeWord = c.typeWord;
    rip.trimFrames = c.trim;
    ExpectTheDisc(Rip(rip));
  }
}

TEST_F(CueRipTest, SheetsAsRippingProgramsWriteThemRead) {
  mkdisc::RipSpec rip;
  rip.layout = mkdisc::RipLayout::PregapInPrevious;
  rip.extension = "wav";
  rip.decorated = true;
  rip.crlf = true;
  rip.byteOrderMark = true;
  rip.unquoted = true;
  rip.upperNames = true;
  ExpectTheDisc(Rip(rip));

  // The sheet names .wav files, the folder holds the .flac they became.
  rip = mkdisc::RipSpec();
  rip.layout = mkdisc::RipLayout::PregapInOwn;
  rip.extension = "flac";
  mkdisc::DiscImage image = Rip(rip, "converted.cue");
  std::string sheet;
  ASSERT_TRUE(disc::ReadSheet(image.sheetPath, &sheet, &sheet));
  for (size_t at; (at = sheet.find(".flac")) != std::string::npos;) sheet.replace(at, 5, ".wav");
  WriteFile("converted.cue", sheet);
  ExpectTheDisc(image);
}

TEST_F(CueRipTest, PregapAndPostgapAreSilenceTheSheetAdds) {
  mkdisc::DiscImage image = MakeTracks({40, 30});
  Bytes bin = mkdisc::ReadBin(image.binPath, 0, 70);
  std::string error;
  ASSERT_TRUE(mkdisc::WriteAudioFile(Path("one.wav"), Bytes(bin.begin(), bin.begin() + 40 * 2352),
                                     mkdisc::CdShape("wav"), &error));
  ASSERT_TRUE(mkdisc::WriteAudioFile(Path("two.wav"), Bytes(bin.begin() + 40 * 2352, bin.end()),
                                     mkdisc::CdShape("wav"), &error));
  WriteFile("gaps.cue",
            "FILE \"one.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:03\n"
            "FILE \"two.wav\" WAVE\n  TRACK 02 AUDIO\n    PREGAP 00:00:07\n    INDEX 01 00:00:00\n"
            "    POSTGAP 00:00:02\n");
  disc::Disc disc;
  Bytes all = Load(Path("gaps.cue"), &disc);
  ASSERT_EQ(disc.table.tracks.size(), 2u);
  EXPECT_EQ(disc.table.tracks[0].start, 0);
  EXPECT_EQ(disc.table.tracks[1].pregap, 43);
  EXPECT_EQ(disc.table.tracks[1].start, 50);
  EXPECT_EQ(disc.table.leadout, 82);
  ASSERT_EQ(all.size(), 82u * 2352);
  EXPECT_TRUE(std::equal(bin.begin(), bin.begin() + 40 * 2352, all.begin()));
  EXPECT_TRUE(Silent(all, 40 * 2352, 10 * 2352));
  EXPECT_TRUE(std::equal(bin.begin() + 40 * 2352, bin.end(), all.begin() + 50 * 2352));
  EXPECT_TRUE(Silent(all, 80 * 2352, 2 * 2352));
}

TEST_F(CueRipTest, SheetsInTheCodePagesOfWindowsFindTheirFiles) {
  mkdisc::DiscImage image = MakeTracks({40});
  Bytes bin = mkdisc::ReadBin(image.binPath, 0, 40);
  std::string error;
  // 曲 (code page 932: 8B C8) and é (1252: E9) in the names on disk, in UTF-8.
  ASSERT_TRUE(
      mkdisc::WriteAudioFile(Path("\xE6\x9B\xB2.flac"), bin, mkdisc::CdShape("flac"), &error));
  ASSERT_TRUE(mkdisc::WriteAudioFile(Path("caf\xC3\xA9.wav"), bin, mkdisc::CdShape("wav"), &error));
  const std::string track = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  WriteFile("japanese.cue", "TITLE \"\x8B\xC8\"\nFILE \"\x8B\xC8.flac\" WAVE\n" + track);
  WriteFile("western.cue", "FILE \"caf\xE9.wav\" WAVE\n" + track);
  for (const char* sheet : {"japanese.cue", "western.cue"}) {
    disc::Disc disc;
    EXPECT_TRUE(Load(Path(sheet), &disc) == bin) << sheet;
  }
}

TEST_F(CueRipTest, ImagesShapedLikeLibcdiosSamplesFindTheirBins) {
  // cdda.cue: CD-TEXT and a FILE line naming CDDA.BIN beside cdda.bin.
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {80, 60};
  mkdisc::RipSpec rip;
  rip.layout = mkdisc::RipLayout::Bin;
  rip.upperNames = true;
  rip.decorated = true;
  mkdisc::DiscImage cdda = MakeImage(spec, "cdda.cue");
  std::string error;
  ASSERT_TRUE(mkdisc::WriteRip(cdda, rip, &error)) << error;
  ExpectTheDisc(cdda);

  // p1.cue: a data track, then audio, in P1.BIN.
  spec.dataFirst = 30;
  mkdisc::DiscImage p1 = MakeImage(spec, "p1.cue");
  ASSERT_TRUE(mkdisc::WriteRip(p1, rip, &error)) << error;
  disc::Disc disc;
  Bytes all = Load(p1.sheetPath, &disc);
  ASSERT_EQ(disc.table.tracks.size(), 3u);
  EXPECT_FALSE(disc.table.tracks[0].audio);
  EXPECT_EQ(disc.table.tracks[1].start, p1.tracks[1].start);
  EXPECT_TRUE(all == mkdisc::ReadBin(p1.binPath, 0, p1.sectors));

  // isofs-m1.cue: one data track in ISOFS-M1.BIN; the device loads it and
  // shows it as data, which the player refuses to play.
  WriteFile("isofs-m1.bin", std::string(200 * 2352, '\x5A'));
  WriteFile("isofs-m1.cue",
            "FILE \"ISOFS-M1.BIN\" BINARY\n  TRACK 01 MODE1/2352\n"
            "    INDEX 01 00:00:00\n");
  ASSERT_EQ(OpenSource(Path("isofs-m1.cue")), 0u);
  DWORD_PTR value;
  ASSERT_EQ(TrackType(1, &value), 0u);
  EXPECT_EQ(value, static_cast<DWORD_PTR>(MCI_CDA_TRACK_OTHER));
}

TEST_F(CueRipTest, WhatCannotBePlayedIsRefusedNamingTheFileAndWhy) {
  mkdisc::DiscImage image = MakeTracks({40});
  Bytes bin = mkdisc::ReadBin(image.binPath, 0, 40);
  std::string error;
  mkdisc::AudioShape rate = mkdisc::CdShape("flac");
  rate.rate = 48000;
  ASSERT_TRUE(mkdisc::WriteAudioFile(Path("rate.flac"), bin, rate, &error));
  ASSERT_TRUE(mkdisc::WriteAudioFile(Path("good.wav"), bin, mkdisc::CdShape("wav"), &error));
  WriteFile("album.ape", std::string("MAC \x96\x0f\0\0", 8) + std::string(4000, 'x'));
  WriteFile("Album.wav", "x");
  WriteFile("ALBUM.WAV", "x");
  const std::string track = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  struct Case {
    const char* sheet;
    std::string text;
    std::string says;
  } cases[] = {
      {"rate.cue", "FILE \"rate.flac\" WAVE\n" + track, Path("rate.flac") + ": "},
      {"ape.cue", "FILE \"album.ape\" WAVE\n" + track, Path("album.ape") + ": not an audio file"},
      {"missing.cue", "FILE \"gone.flac\" WAVE\n" + track, "cannot find " + Path("gone.flac")},
      {"ambiguous.cue", "FILE \"album.wav\" WAVE\n" + track, "ambiguous"},
      {"type.cue", "FILE \"rate.flac\" APE\n" + track, "file type APE is not supported"},
      {"text.cue", std::string("FILE \"\x81\" WAVE\n", 14) + track, "not text"},
      {"past.cue", "FILE \"good.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 01:00:00\n",
       "starts past the end of " + Path("good.wav")},
  };
  for (const Case& c : cases) {
    WriteFile(c.sheet, c.text);
    std::string why = Refusal(c.sheet);
    EXPECT_NE(why.find(c.says), std::string::npos) << c.sheet << ": " << why;
  }

  // The player is told through the device's one line on stderr.
  ASSERT_EQ(OpenSource(Path("rate.cue")), 0u);
  DWORD_PTR tracks;
  testing::internal::CaptureStderr();
  EXPECT_NE(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &tracks), 0u);
  EXPECT_NE(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &tracks), 0u);
  std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.find("korvane: " + Path("rate.cue") + ": " + Path("rate.flac") + ": "), 0u)
      << told;
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}
