// SPDX-License-Identifier: GPL-3.0-or-later
// .nrg images, which libcdio reads for the device: the table and the
// samples must be those of the cue sheet of the same disc, and a damaged
// image must be refused, not crash the player or play what is not there.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/linux/disc/disc.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Patched(std::string image, size_t at, const std::string& bytes) {
  return image.replace(at, bytes.size(), bytes);
}

class NrgImageTest : public DeviceTest {
 protected:
  // The same disc as disc.cue and disc.nrg.
  void MakeBoth(mkdisc::DiscImageSpec spec) {
    cue_ = MakeImage(spec, "disc.cue");
    spec.nrg = true;
    nrg_ = MakeImage(spec, "disc.nrg");
  }

  mkdisc::DiscImage cue_, nrg_;
};

}  // namespace

TEST_F(NrgImageTest, TheTableAndEverySampleAreThoseOfTheCueOfTheSameDisc) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {300, 200, 7, 101};
  spec.pregap = 6;
  MakeBoth(spec);
  disc::Disc fromCue, fromNrg;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(cue_.sheetPath, &fromCue, &why), disc::DiscState::Ready);
  ASSERT_EQ(disc::LoadDisc(nrg_.sheetPath, &fromNrg, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(fromNrg.table.first, 1);
  ASSERT_EQ(fromNrg.table.tracks.size(), 4u);
  for (int number = 1; number <= 4; number++) {
    const disc::Track& nrg = fromNrg.table.Numbered(number);
    const disc::Track& cue = fromCue.table.Numbered(number);
    EXPECT_EQ(nrg.start, cue.start) << number;
    EXPECT_EQ(nrg.pregap, cue.pregap) << number;
    EXPECT_TRUE(nrg.audio) << number;
    EXPECT_EQ(nrg.session, 1) << number;
  }
  EXPECT_EQ(fromNrg.table.Numbered(3).start, 506);
  EXPECT_EQ(fromNrg.table.leadout, 608);
  EXPECT_EQ(fromNrg.table.leadout, fromCue.table.leadout);

  // Bit for bit, in the device's batches across track boundaries, and
  // not a sector past the end.
  const Bytes disc = mkdisc::ReadBin(cue_.binPath, 0, 608);
  ASSERT_EQ(disc.size(), 608u * 2352);
  Bytes played(disc.size());
  for (int32_t lsn = 0; lsn < 608; lsn += 75) {
    int32_t count = std::min(75, 608 - lsn);
    ASSERT_TRUE(fromNrg.reader->Read(lsn, count, played.data() + static_cast<size_t>(lsn) * 2352))
        << lsn;
  }
  EXPECT_TRUE(played == disc);
  Bytes sector(2352);
  EXPECT_FALSE(fromNrg.reader->Read(608, 1, sector.data()));
  EXPECT_FALSE(fromNrg.reader->Read(600, 9, played.data()));
}

TEST_F(NrgImageTest, SeventyTracksLoadThoughTheirTrailerTripsLibcdiosAssertion) {
  // Past 69 tracks the chunks after the audio exceed 4096 bytes, which
  // libcdio asserts against; with its default log handler that aborts.
  mkdisc::DiscImageSpec spec;
  spec.audioSectors.assign(72, 2);
  MakeBoth(spec);
  disc::Disc disc;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(nrg_.sheetPath, &disc, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(disc.table.tracks.size(), 72u);
  EXPECT_EQ(disc.table.Numbered(72).start, 142);
  EXPECT_EQ(disc.table.leadout, 144);
  Bytes played(144 * 2352);
  ASSERT_TRUE(disc.reader->Read(0, 144, played.data()));
  EXPECT_TRUE(played == mkdisc::ReadBin(cue_.binPath, 0, 144));
}

TEST_F(NrgImageTest, AnImageWithCdTextPlaysAndGivesItsTitles) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {40, 30};
  spec.text.disc = {"Dawn Songs", "Café Trio"};
  spec.text.tracks = {{"First Light", ""}, {"", "Mika"}};
  MakeBoth(spec);
  disc::Disc fromCue, fromNrg;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(cue_.sheetPath, &fromCue, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(disc::LoadDisc(nrg_.sheetPath, &fromNrg, &why), disc::DiscState::Ready) << why;
  for (const disc::Disc* loaded : {&fromCue, &fromNrg}) {
    EXPECT_EQ(loaded->text.disc.title, "Dawn Songs");
    EXPECT_EQ(loaded->text.disc.performer, "Café Trio");
    ASSERT_EQ(loaded->text.tracks.size(), 2u);
    EXPECT_EQ(loaded->text.tracks[0].title, "First Light");
    EXPECT_EQ(loaded->text.tracks[1].performer, "Mika");
  }
  Bytes sector(2352), expected(2352);
  ASSERT_TRUE(fromNrg.reader->Read(45, 1, sector.data()));
  ASSERT_TRUE(fromCue.reader->Read(45, 1, expected.data()));
  EXPECT_TRUE(sector == expected);
}

TEST_F(NrgImageTest, ADamagedImageIsRefusedWithAReason) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {40, 30, 35};
  MakeBoth(spec);
  std::ifstream in(nrg_.sheetPath, std::ios::binary);
  const std::string whole{std::istreambuf_iterator<char>(in), {}};
  const size_t footer = whole.size() - 12;
  const size_t chunks = (150 + 105) * 2352;  // CUEX: lead-in, 2 entries a track, lead-out
  ASSERT_EQ(whole.substr(chunks, 8), "CUEX" + mkdisc::BigEndian(64, 4));
  const std::string trailer = whole.substr(chunks, footer - chunks);
  auto footerAt = [](uint64_t offset) { return "NER5" + mkdisc::BigEndian(offset, 8); };
  struct Case {
    const char* what;
    std::string image;
  } cases[] = {
      {"no footer", whole.substr(0, footer)},
      {"a footer pointing past the end", Patched(whole, footer, footerAt(1ull << 62))},
      {"a footer pointing into the audio", Patched(whole, footer, footerAt(0))},
      {"a chunk longer than the trailer",
       Patched(whole, chunks + 4, mkdisc::BigEndian(0x7ffffff0, 4))},
      {"a track list cut by an entry", Patched(whole, chunks + 4, mkdisc::BigEndian(56, 4))},
      {"a lead-out past the audio",
       Patched(whole, chunks + 8 + 7 * 8 + 4, mkdisc::BigEndian(100000, 4))},
      {"audio cut short",
       whole.substr(0, (150 + 100) * 2352) + trailer + footerAt((150 + 100) * 2352)},
      {"an empty file", ""},
  };
  for (const Case& bad : cases) ExpectRefused("bad.nrg", bad.image, bad.what);
  // Named otherwise, it is still read as what it is.
  WriteFile("disc.img", whole);
  disc::Disc disc;
  std::string why;
  EXPECT_EQ(disc::LoadDisc(Path("disc.img"), &disc, &why), disc::DiscState::Ready) << why;
  WriteFile("bad.img", cases[3].image);
  EXPECT_EQ(disc::LoadDisc(Path("bad.img"), &disc, &why), disc::DiscState::Unreadable);
}
