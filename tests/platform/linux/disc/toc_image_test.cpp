// SPDX-License-Identifier: GPL-3.0-or-later
// .toc images: the table they describe, the samples they hold in cdrdao's
// byte orders and layouts, and the broken ones that must be refused.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/linux/disc/disc.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Swapped(Bytes bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

std::string Le(uint32_t value, int bytes) {
  std::string out(static_cast<size_t>(bytes), '\0');
  for (int i = 0; i < bytes; i++) out[static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
  return out;
}

// A wave file as editors write them: an odd-sized chunk (padded) between
// the format and the samples.
std::string Wave(const Bytes& samples, uint32_t channels = 2) {
  std::string body = "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(channels, 2) + Le(44100, 4) +
                     Le(44100 * 2 * channels, 4) + Le(2 * channels, 2) + Le(16, 2);
  body += "LIST" + Le(5, 4) + "INFOx" + std::string(1, '\0');
  body += "data" + Le(static_cast<uint32_t>(samples.size()), 4) +
          std::string(samples.begin(), samples.end());
  return "RIFF" + Le(static_cast<uint32_t>(body.size()), 4) + body;
}

class TocImageTest : public DeviceTest {
 protected:
  void WriteBytes(const std::string& name, const Bytes& bytes) {
    WriteFile(name, std::string(bytes.begin(), bytes.end()));
  }

  // Loads `toc` as the device does; every sector it plays.
  Bytes Load(const std::string& toc, disc::Disc* disc) {
    WriteFile("disc.toc", toc);
    std::string why;
    disc::DiscState state = disc::LoadDisc(Path("disc.toc"), disc, &why);
    EXPECT_EQ(state, disc::DiscState::Ready) << why;
    if (state != disc::DiscState::Ready) return {};
    Bytes all(static_cast<size_t>(disc->table.leadout) * 2352);
    EXPECT_TRUE(disc->reader->Read(0, disc->table.leadout, all.data()));
    return all;
  }
};

}  // namespace

TEST_F(TocImageTest, TheTableIsTheSameAsTheCueOfTheSameDiscFromAnyFolder) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {300, 200, 101};
  spec.pregap = 20;
  spec.dataFirst = 50;
  MakeImage(spec, "disc.cue");
  spec.toc = true;
  spec.binName = "toc data.bin";
  MakeImage(spec, "disc.toc");

  auto answers = [this](const std::string& source) {
    std::vector<DWORD_PTR> all;
    EXPECT_EQ(OpenSource(source), 0u) << source;
    EXPECT_EQ(SetTimeFormat(MCI_FORMAT_MSF), 0u);
    DWORD_PTR count = 0, value = 0;
    EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &count), 0u);
    all.push_back(count);
    for (DWORD track = 1; track <= count && track <= 99; track++) {
      EXPECT_EQ(TrackType(track, &value), 0u);
      all.push_back(value);
      EXPECT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, track, &value), 0u);
      all.push_back(value);
    }
    EXPECT_EQ(Close(), 0u);
    return all;
  };
  std::vector<DWORD_PTR> cue = answers(Path("disc.cue"));
  ASSERT_EQ(cue.size(), 9u);
  EXPECT_EQ(cue[1], static_cast<DWORD_PTR>(MCI_CDA_TRACK_OTHER));
  EXPECT_EQ(cue[6],
            static_cast<DWORD_PTR>(2 << 8 | 50 << 16));  // 200 sectors up to track 4: 0:02:50
  EXPECT_EQ(answers(Path("disc.toc")), cue);
  // Where each index lies, too.
  disc::Disc fromCue, fromToc;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(Path("disc.cue"), &fromCue, &why), disc::DiscState::Ready);
  ASSERT_EQ(disc::LoadDisc(Path("disc.toc"), &fromToc, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(fromToc.table.tracks.size(), 4u);
  for (int number = 1; number <= 4; number++) {
    EXPECT_EQ(fromToc.table.Numbered(number).start, fromCue.table.Numbered(number).start) << number;
    EXPECT_EQ(fromToc.table.Numbered(number).pregap, fromCue.table.Numbered(number).pregap)
        << number;
  }
  EXPECT_EQ(fromToc.table.leadout, fromCue.table.leadout);

  // Named by a relative path from another folder, the .toc still finds
  // its bin beside it, not in the current folder.
  char here[4096];
  ASSERT_TRUE(getcwd(here, sizeof here));
  std::string folder = Path("");
  folder.pop_back();
  std::string parent = folder.substr(0, folder.rfind('/'));
  ASSERT_EQ(chdir(parent.c_str()), 0);
  std::vector<DWORD_PTR> relative = answers(folder.substr(parent.size() + 1) + "/disc.toc");
  ASSERT_EQ(chdir(here), 0);
  EXPECT_EQ(relative, cue);
}

TEST_F(TocImageTest, SamplesAreReadInTheByteOrderAndLayoutCdrdaoMeans) {
  mkdisc::DiscImage reference = MakeTracks({10});
  const Bytes disc = mkdisc::ReadBin(reference.binPath, 0, 10);  // little-endian, as played
  ASSERT_EQ(disc.size(), 10u * 2352);
  WriteBytes("big.raw", Swapped(disc));
  WriteBytes("little.raw", disc);
  WriteFile("disc.wav", Wave(disc));
  disc::Disc loaded;

  // Raw files are big-endian unless SWAP says otherwise; wave files are
  // little-endian, their header and other chunks no part of the audio.
  EXPECT_EQ(Load("CD_DA\nTRACK AUDIO\nFILE \"big.raw\" 0\n", &loaded), disc);
  EXPECT_EQ(Load("TRACK AUDIO\nAUDIOFILE \"little.raw\" SWAP 0 00:00:10\n", &loaded), disc);
  EXPECT_EQ(Load("TRACK AUDIO // the whole wave\nFILE \"disc.wav\" 0\n", &loaded), disc);
  EXPECT_EQ(Load("TRACK AUDIO\nFILE \"disc.wav\" SWAP 0\n", &loaded), Swapped(disc));

  // Tracks end on sample counts and are padded to whole sectors; PREGAP
  // is silence before index 1; #offset skips bytes, start skips samples;
  // several statements make one track in order.
  Bytes played = Load(
      "CD_DA\n"
      "CD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE \"A } \\\"B\\\"\" } }\n"
      "TRACK AUDIO\nNO COPY\nFILE \"little.raw\" SWAP 0 1000\n"
      "TRACK AUDIO\nPREGAP 00:00:03\nFILE \"big.raw\" #2352 588 00:00:05\n"
      "TRACK AUDIO\nFILE \"disc.wav\" 0 10\nSILENCE 5\nFILE \"big.raw\" 20 10\n"
      "TRACK AUDIO\nFILE \"disc.wav\" 00:00:07\nSTART\nFILE \"disc.wav\" 00:00:08 00:00:02\n"
      "INDEX 00:00:01\n",
      &loaded);
  ASSERT_EQ(loaded.table.tracks.size(), 4u);
  EXPECT_EQ(loaded.table.Numbered(1).start, 0);
  EXPECT_EQ(loaded.table.Numbered(2).pregap, 2);
  EXPECT_EQ(loaded.table.Numbered(2).start, 5);
  EXPECT_EQ(loaded.table.Numbered(3).start, 10);
  EXPECT_EQ(loaded.table.Numbered(4).pregap, 11);
  EXPECT_EQ(loaded.table.Numbered(4).start, 14);
  EXPECT_EQ(loaded.table.leadout, 16);
  Bytes expected(16 * 2352, 0);
  std::copy_n(disc.begin(), 4000, expected.begin());
  std::copy_n(disc.begin() + 2 * 2352, 5 * 2352, expected.begin() + 5 * 2352);
  std::copy_n(disc.begin(), 40, expected.begin() + 10 * 2352);
  std::copy_n(disc.begin() + 80, 40, expected.begin() + 10 * 2352 + 60);
  std::copy_n(disc.begin() + 7 * 2352, 3 * 2352, expected.begin() + 11 * 2352);
  std::copy_n(disc.begin() + 8 * 2352, 2 * 2352, expected.begin() + 14 * 2352);
  ASSERT_EQ(played.size(), expected.size());
  for (int sector = 0; sector < 16; sector++)
    EXPECT_EQ(Slice(played, static_cast<size_t>(sector) * 2352, 2352),
              Slice(expected, static_cast<size_t>(sector) * 2352, 2352))
        << "sector " << sector;
}

TEST_F(TocImageTest, CdTextIsReadInTheLanguageAndCodeCdrdaoWroteIt) {
  WriteBytes("a.raw", Bytes(4 * 2352, 1));
  // As cdrdao read-toc writes a disc's English and Japanese blocks:
  // Latin-1 and code page 932 bytes in octal.
  const std::string english =
      "  LANGUAGE 0 {\n    TITLE \"Caf\\351\"\n    PERFORMER \"\"\n"
      "    SIZE_INFO { 0,  1,  2,  0,  3,  2,  0,  0,  0,  0,  0,  0}\n  }\n";
  const std::string tracks =
      "TRACK AUDIO\nCD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"One\"\n  }\n"
      "  LANGUAGE 1 {\n    TITLE \"\\207\\100\"\n  }\n}\nFILE \"a.raw\" 0 00:00:02\n"
      "TRACK AUDIO\nFILE \"a.raw\" 00:00:02 00:00:02\n";
  disc::Disc loaded;
  Load("CD_DA\nCD_TEXT {\n  LANGUAGE_MAP {\n    0: 9\n    1: 105\n  }\n" + english +
           "  LANGUAGE 1 {\n    TITLE \"\\222\\251\"\n    SIZE_INFO {128,  1,  2}\n  }\n}\n" +
           tracks,
       &loaded);
  EXPECT_EQ(loaded.text.disc.title, "朝");
  ASSERT_EQ(loaded.text.tracks.size(), 2u);
  EXPECT_EQ(loaded.text.tracks[0].title, "①");
  EXPECT_EQ(loaded.text.tracks[1].title, "");

  // English alone, and a sheet written by hand in UTF-8.
  Load("CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n" + english + "}\n" + tracks, &loaded);
  EXPECT_EQ(loaded.text.disc.title, "Café");
  EXPECT_EQ(loaded.text.tracks[0].title, "One");
  Load("CD_TEXT { LANGUAGE 0 { TITLE \"Café ①\" } }\n" + tracks, &loaded);
  EXPECT_EQ(loaded.text.disc.title, "Café ①");
}

TEST_F(TocImageTest, BrokenImagesAreRefusedWithAReason) {
  WriteFile("ten.raw", std::string(10 * 2352, '\x11'));
  WriteFile("mono.wav", Wave(Bytes(2352, 0), 1));
  WriteFile("empty.wav", "RIFF\x04\x00\x00\x00WAVE");
  const std::string track = "TRACK AUDIO\n";
  struct Case {
    const char* what;
    std::string toc;
  } cases[] = {
      {"a missing file", track + "FILE \"gone.raw\" 0\n"},
      {"more than the file holds", track + "FILE \"ten.raw\" 00:00:05 00:00:06\n"},
      {"a start past the file", track + "FILE \"ten.raw\" 00:00:11\n"},
      {"an offset past the file", track + "FILE \"ten.raw\" #30000 0\n"},
      {"START past the track", track + "FILE \"ten.raw\" 0\nSTART 00:00:10\n"},
      {"START twice", track + "FILE \"ten.raw\" 0\nSTART\nSTART\n"},
      {"a mono wave", track + "FILE \"mono.wav\" 0\n"},
      {"a wave without samples", track + "FILE \"empty.wav\" 0\n"},
      {"a FIFO", track + "FIFO \"/dev/zero\" 2352\n"},
      {"audio in a data track", "TRACK MODE1\nFILE \"ten.raw\" 0\n"},
      {"an unknown mode", "TRACK CDG\nFILE \"ten.raw\" 0\n"},
      {"a bad time", track + "FILE \"ten.raw\" 00:61:00\n"},
      {"a huge number", track + "FILE \"ten.raw\" 99999999999999999999999\n"},
      {"an unterminated name", track + "FILE \"ten.raw 0\n"},
      {"an unfinished CD_TEXT", "CD_TEXT { LANGUAGE 0 {\n" + track + "FILE \"ten.raw\" 0\n"},
      {"a track without data", track + track + "FILE \"ten.raw\" 0\n"},
      {"no tracks", "CD_DA\n"},
      {"an empty file", ""},
      {"garbage", std::string("\x01\xff\x00 TRACK \"", 12)},
  };
  for (const Case& bad : cases) ExpectRefused("bad.toc", bad.toc, bad.what);
}
