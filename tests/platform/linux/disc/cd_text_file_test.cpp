// SPDX-License-Identifier: GPL-3.0-or-later
// A cue sheet's CDTEXTFILE: the raw packs a ripper keeps beside the image,
// read by the drives' pack reader for the titles the sheet does not give
// itself, in each form rippers write; a file that is missing or damaged
// costs the titles, never the disc.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sources.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tools/cd_text_packs.h"

namespace {

class CdTextFileTest : public DeviceTest {
 protected:
  // disc.cue over disc.bin, its titles only in disc.cdt.
  void MakeDisc() {
    spec_.audioSectors = {40, 30, 35};
    spec_.text.disc = {"Dawn Songs", "Café Trio"};
    spec_.text.tracks = {{"First Light", "Mika"}, {"Noon", "\t"}, {"Dusk", "Solo"}};
    spec_.cdTextFile = "disc.cdt";
    image_ = MakeImage(spec_, "disc.cue");
    std::ifstream in(Path("disc.cdt"), std::ios::binary);
    packs_.assign(std::istreambuf_iterator<char>(in), {});
  }

  disc::Disc Load() {
    disc::Disc disc;
    std::string why;
    EXPECT_EQ(disc::LoadDisc(image_.sheetPath, &disc, &why), disc::DiscState::Ready) << why;
    return disc;
  }

  void ExpectAllTitles(const disc::Disc& disc) {
    EXPECT_EQ(disc.text.disc.title, "Dawn Songs");
    EXPECT_EQ(disc.text.disc.performer, "Café Trio");
    ASSERT_EQ(disc.text.tracks.size(), 3u);
    EXPECT_EQ(disc.text.tracks[0].title, "First Light");
    EXPECT_EQ(disc.text.tracks[1].title, "Noon");
    EXPECT_EQ(disc.text.tracks[1].performer, "Mika");  // the tab indicator
    EXPECT_EQ(disc.text.tracks[2].performer, "Solo");
  }

  mkdisc::DiscImageSpec spec_;
  mkdisc::DiscImage image_;
  std::string packs_;
};

TEST_F(CdTextFileTest, TheFileGivesTheTitlesInEveryFormRippersWriteAndTheSheetsOwnLinesWin) {
  MakeDisc();
  std::ifstream sheet(image_.sheetPath);
  const std::string text{std::istreambuf_iterator<char>(sheet), {}};
  ASSERT_NE(text.find("CDTEXTFILE \"disc.cdt\""), std::string::npos);
  ASSERT_EQ(text.find("TITLE"), std::string::npos);
  ASSERT_EQ(packs_.size() % disc::CdTextPackBytes, 0u);

  // Bare packs; after READ TOC format 5's header; each with one trailing
  // zero byte.
  const std::string header = mkdisc::BigEndian(packs_.size() + 2, 2) + std::string(2, '\0');
  for (const std::string& file :
       {packs_, header + packs_, packs_ + std::string(1, '\0'), header + packs_ + '\0'}) {
    WriteFile("disc.cdt", file);
    SCOPED_TRACE(file.size());
    testing::internal::CaptureStderr();
    ExpectAllTitles(Load());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }

  // The sheet's own TITLE and PERFORMER win, the file fills the rest; its
  // name is found in another letter case, and unquoted.
  std::string own = text;
  own.replace(own.find("CDTEXTFILE \"disc.cdt\""), 21, "CDTEXTFILE DISC.CDT\nTITLE \"Mine\"");
  own.insert(own.find("    INDEX 01", own.find("TRACK 02")), "    PERFORMER \"Guest\"\n");
  WriteFile("disc.cue", own);
  const disc::Disc disc = Load();
  EXPECT_EQ(disc.text.disc.title, "Mine");
  EXPECT_EQ(disc.text.disc.performer, "Café Trio");
  ASSERT_EQ(disc.text.tracks.size(), 3u);
  EXPECT_EQ(disc.text.tracks[0].title, "First Light");
  EXPECT_EQ(disc.text.tracks[1].performer, "Guest");
  EXPECT_EQ(disc.text.tracks[1].title, "Noon");
}

TEST_F(CdTextFileTest, AMissingEmptyShortOrDamagedFileCostsTheTitlesNotTheDisc) {
  MakeDisc();
  struct Case {
    const char* what;
    std::string bytes;
    bool present;
  } cases[] = {
      {"missing", "", false},
      {"empty", "", true},
      {"short of a pack", packs_.substr(0, 10), true},
      {"cut mid-pack", packs_.substr(0, packs_.size() - 7), true},
      {"whole packs of no CD-Text", std::string(packs_.size(), '\x55'), true},
      {"a header that does not fit", std::string(4, '\x7f') + packs_, true},
  };
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.what);
    unlink(Path("disc.cdt").c_str());
    if (bad.present) WriteFile("disc.cdt", bad.bytes);
    testing::internal::CaptureStderr();
    const disc::Disc disc = Load();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(disc.text.disc.title.empty());
    for (const disc::TrackText& track : disc.text.tracks) EXPECT_TRUE(track.title.empty());
    EXPECT_EQ(disc.table.tracks.size(), 3u);
    ASSERT_NE(disc.reader, nullptr);
    // One line, naming the file.
    EXPECT_EQ(said.find("korvane: " + Path("disc.cdt")), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

}  // namespace
