// SPDX-License-Identifier: GPL-3.0-or-later
// .nrg images, in each layout Nero writes: the table and the samples must
// be those of the cue sheet of the same disc, an Enhanced CD's data session
// must stop the audio as a cue sheet's does, and a damaged image must be
// refused with its reason, not crash the player or play what is not there.
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

#include "platform/linux/disc/disc.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Chunks = std::vector<std::pair<std::string, std::string>>;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string{std::istreambuf_iterator<char>(in), {}};
}

uint64_t Big(const std::string& bytes, size_t at, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; i++) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// A NER5 image split into its sectors and its chunks before END!.
void Split(const std::string& image, std::string* sectors, Chunks* chunks) {
  size_t at = Big(image, image.size() - 8, 8);
  *sectors = image.substr(0, at);
  chunks->clear();
  while (image.compare(at, 4, "END!") != 0) {
    const size_t length = Big(image, at + 4, 4);
    chunks->emplace_back(image.substr(at, 4), image.substr(at + 8, length));
    at += 8 + length;
  }
}

// The image of `sectors` with `chunks`, END! and a NER5 footer.
std::string Join(const std::string& sectors, const Chunks& chunks) {
  std::string image = sectors;
  for (const auto& [id, body] : chunks) image += id + mkdisc::BigEndian(body.size(), 4) + body;
  return image + "END!" + std::string(4, '\0') + "NER5" + mkdisc::BigEndian(sectors.size(), 8);
}

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

TEST_F(NrgImageTest, EveryLayoutGivesTheTableTitlesAndSamplesOfTheSameDisc) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {300, 200, 7, 101};
  spec.text.disc = {"Dawn Songs", "Café Trio"};
  spec.text.tracks = {{"First Light", ""}, {"", "Mika"}};
  for (const mkdisc::NrgLayout layout : {mkdisc::NrgLayout::DaoNew, mkdisc::NrgLayout::DaoOld,
                                         mkdisc::NrgLayout::TaoNew, mkdisc::NrgLayout::TaoOld}) {
    const bool tao = layout == mkdisc::NrgLayout::TaoNew || layout == mkdisc::NrgLayout::TaoOld;
    const int name = static_cast<int>(layout);
    SCOPED_TRACE(name);
    spec.pregap = tao ? 0 : 6;  // a track-at-once image's pregaps are its gaps
    spec.nrgLayout = layout;
    MakeBoth(spec);
    disc::Disc fromCue, fromNrg;
    std::string why;
    ASSERT_EQ(disc::LoadDisc(cue_.sheetPath, &fromCue, &why), disc::DiscState::Ready) << why;
    ASSERT_EQ(disc::LoadDisc(nrg_.sheetPath, &fromNrg, &why), disc::DiscState::Ready) << why;
    ASSERT_EQ(fromNrg.table.tracks.size(), 4u);
    // Track-at-once: each track after the first two seconds later.
    const int32_t gap = tao ? 150 : 0;
    for (int number = 1; number <= 4; number++) {
      const disc::Track& nrg = fromNrg.table.Numbered(number);
      const disc::Track& cue = fromCue.table.Numbered(number);
      EXPECT_EQ(nrg.start, cue.start + gap * (number - 1)) << number;
      EXPECT_EQ(nrg.pregap, tao && number > 1 ? nrg.start - 150 : cue.pregap) << number;
      EXPECT_TRUE(nrg.audio) << number;
      EXPECT_EQ(nrg.session, 1) << number;
    }
    EXPECT_EQ(fromNrg.table.leadout, fromCue.table.leadout + 3 * gap);
    EXPECT_EQ(fromNrg.text.disc.title, "Dawn Songs");
    EXPECT_EQ(fromNrg.text.disc.performer, "Café Trio");
    ASSERT_EQ(fromNrg.text.tracks.size(), 4u);
    EXPECT_EQ(fromNrg.text.tracks[0].title, "First Light");
    EXPECT_EQ(fromNrg.text.tracks[1].performer, "Mika");

    // Every sample of every track, read in the device's batches; the gaps
    // a track-at-once image leaves out are silence.
    Bytes played(static_cast<size_t>(fromNrg.table.leadout) * 2352);
    for (int32_t lsn = 0; lsn < fromNrg.table.leadout; lsn += 75) {
      const int32_t count = std::min(75, fromNrg.table.leadout - lsn);
      ASSERT_TRUE(fromNrg.reader->Read(lsn, count, played.data() + static_cast<size_t>(lsn) * 2352))
          << lsn;
    }
    Bytes expected;
    for (int number = 1; number <= 4; number++) {
      const disc::Track& cue = fromCue.table.Numbered(number);
      const int32_t from = number == 1 ? 0 : cue.pregap >= 0 ? cue.pregap : cue.start;
      const int32_t to = number == 4 ? fromCue.table.leadout
                         : fromCue.table.Numbered(number + 1).pregap >= 0
                             ? fromCue.table.Numbered(number + 1).pregap
                             : fromCue.table.Numbered(number + 1).start;
      if (number > 1) expected.resize(expected.size() + static_cast<size_t>(gap) * 2352, 0);
      const Bytes track = mkdisc::ReadBin(cue_.binPath, from, to - from);
      expected.insert(expected.end(), track.begin(), track.end());
    }
    ASSERT_EQ(played.size(), expected.size());
    EXPECT_TRUE(played == expected);
    Bytes sector(2352);
    EXPECT_FALSE(fromNrg.reader->Read(fromNrg.table.leadout, 1, sector.data()));
  }
}

TEST_F(NrgImageTest, AnEnhancedCdsDataSessionStopsTheAudioAsACueSheetsDoes) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {300, 200};
  spec.dataSession = 400;
  for (const mkdisc::NrgLayout layout : {mkdisc::NrgLayout::DaoNew, mkdisc::NrgLayout::DaoOld}) {
    spec.nrgLayout = layout;
    MakeBoth(spec);
    disc::Disc fromCue, fromNrg;
    std::string why;
    ASSERT_EQ(disc::LoadDisc(cue_.sheetPath, &fromCue, &why), disc::DiscState::Ready) << why;
    ASSERT_EQ(disc::LoadDisc(nrg_.sheetPath, &fromNrg, &why), disc::DiscState::Ready) << why;
    ASSERT_EQ(fromNrg.table.tracks.size(), 3u);
    for (int number = 1; number <= 3; number++) {
      const disc::Track& nrg = fromNrg.table.Numbered(number);
      const disc::Track& cue = fromCue.table.Numbered(number);
      EXPECT_EQ(nrg.start, cue.start) << number;
      EXPECT_EQ(nrg.audio, cue.audio) << number;
      EXPECT_EQ(nrg.session, cue.session) << number;
    }
    EXPECT_FALSE(fromNrg.table.Numbered(3).audio);
    EXPECT_EQ(fromNrg.table.Numbered(3).session, 2);
    EXPECT_EQ(fromNrg.table.leadout, fromCue.table.leadout);
    // A play from track 1 ends with track 2, before the gap between sessions.
    EXPECT_EQ(disc::AudioEnd(fromNrg.table, 1), 500);
    EXPECT_EQ(disc::AudioEnd(fromNrg.table, 1), disc::AudioEnd(fromCue.table, 1));
    EXPECT_EQ(disc::TrackLength(fromNrg.table, 2), disc::TrackLength(fromCue.table, 2));
    Bytes played(200 * 2352);
    ASSERT_TRUE(fromNrg.reader->Read(300, 200, played.data()));
    EXPECT_TRUE(played == mkdisc::ReadBin(cue_.binPath, 300, 200));
  }
}

// The tab indicator, "the same as the track before", as pressed discs use
// it for their performers: the disc plays with every title.
TEST_F(NrgImageTest, CdTextWithTheTabIndicatorGivesItsTitles) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {40, 30, 35};
  spec.nrg = true;
  spec.text.disc = {"Dawn Songs", "Mika"};
  spec.text.tracks = {{"One", "Mika"}, {"Two", "\t"}, {"Three", "\t"}};
  const mkdisc::DiscImage image = MakeImage(spec, "disc.nrg");
  const std::string whole = ReadWhole(image.sheetPath);
  ASSERT_NE(whole.find(std::string("\0\t\0", 3), whole.rfind("CDTX")), std::string::npos);
  disc::Disc disc;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(image.sheetPath, &disc, &why), disc::DiscState::Ready) << why;
  ASSERT_EQ(disc.text.tracks.size(), 3u);
  for (const disc::TrackText& track : disc.text.tracks) EXPECT_EQ(track.performer, "Mika");
  EXPECT_EQ(disc.text.tracks[2].title, "Three");
}

TEST_F(NrgImageTest, ChunksThatDescribeNoDiscAreRefusedWithTheirReason) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {20, 10};
  spec.nrg = true;
  const mkdisc::DiscImage image = MakeImage(spec, "disc.nrg");
  std::string sectors;
  Chunks chunks;
  Split(ReadWhole(image.sheetPath), &sectors, &chunks);
  ASSERT_EQ(chunks[0].first, "CUEX");
  ASSERT_EQ(chunks[1].first, "DAOX");
  ASSERT_EQ(chunks[2].first, "SINF");
  // Rebuilt as it was, it loads: the cases below differ only as they say.
  WriteFile("same.nrg", Join(sectors, chunks));
  disc::Disc disc;
  std::string why;
  ASSERT_EQ(disc::LoadDisc(Path("same.nrg"), &disc, &why), disc::DiscState::Ready) << why;

  auto with = [&](std::function<void(Chunks*)> change) {
    Chunks changed = chunks;
    change(&changed);
    return Join(sectors, changed);
  };
  const std::string cue = chunks[0].second, dao = chunks[1].second;
  // 100 track-at-once tracks of one sector each.
  std::string etn;
  for (int i = 0; i < 100; i++)
    etn += mkdisc::BigEndian(static_cast<uint64_t>(i) * 2352, 8) + mkdisc::BigEndian(2352, 8) +
           mkdisc::BigEndian(7, 4) + mkdisc::BigEndian(static_cast<uint64_t>(i), 4) +
           std::string(8, '\0');
  struct Case {
    std::string image;
    const char* reason;
  } cases[] = {
      // Its track list again, as one session.
      {with([&](Chunks* c) {
         c->insert(c->begin() + 2, {{"CUEX", cue}, {"DAOX", dao}});
       }),
       "twice"},
      // Again, as a second session.
      {with([&](Chunks* c) {
         c->insert(c->begin() + 2, {{"CUEX", cue}, {"DAOX", dao}});
         c->push_back({"SINF", mkdisc::BigEndian(2, 4)});
       }),
       "twice"},
      // Track 2's start listed twice.
      {with([&](Chunks* c) {
         std::string doubled = cue;
         doubled.insert(32, cue.substr(24, 8));
         c->at(0).second = doubled;
       }),
       "track 2 twice"},
      {with([&](Chunks* c) { c->at(1).second.resize(c->at(1).second.size() - 1); }),
       "fewer tracks"},
      {with([&](Chunks* c) { std::swap(c->at(0), c->at(1)); }), "describes no track list"},
      {with([&](Chunks* c) { c->erase(c->begin() + 1); }), "says nothing of where"},
      {with([&](Chunks* c) { c->at(2).second = mkdisc::BigEndian(3, 4); }), "sessions"},
      {with([&](Chunks* c) { c->at(2).second = std::string(2, '\0'); }), "SINF chunk is cut short"},
      {with([&](Chunks* c) {
         *c = {{"ETN2", etn}};
       }),
       "more than 99"},
      // Audio stored with its subchannel: 2448-byte sectors.
      {with([&](Chunks* c) { c->at(1).second[22 + 12 + 1] = static_cast<char>(2448 & 0xFF); }),
       "2448"},
      // Track 2 ending past the sectors, into the chunks.
      {with([&](Chunks* c) {
         c->at(1).second.replace(22 + 42 + 34, 8, mkdisc::BigEndian(sectors.size() + 2352, 8));
       }),
       "runs into its chunks"},
      {with([&](Chunks* c) {
         c->push_back({"NER5", std::string(8, '\0')});
       }),
       "footer lies"},
  };
  for (const Case& bad : cases) {
    WriteFile("bad.nrg", bad.image);
    EXPECT_EQ(disc::LoadDisc(Path("bad.nrg"), &disc, &why), disc::DiscState::Unreadable)
        << bad.reason;
    EXPECT_NE(why.find(bad.reason), std::string::npos) << why;
    EXPECT_EQ(why.find(Path("bad.nrg")), 0u) << why;
  }
}
