// SPDX-License-Identifier: GPL-3.0-or-later
// The titles a disc carries as CD-Text, in the packs a drive or a Nero
// image gives: the Japanese block before the English one, code page 932's
// own characters whole, and damaged packs left out without losing the
// titles around them.
#include <gtest/gtest.h>

#include "platform/linux/common/text.h"
#include "platform/linux/disc/sources.h"
#include "tools/cd_text_packs.h"

namespace {

disc::TrackTable Tracks(int first, int count) {
  disc::TrackTable table;
  table.first = first;
  table.tracks.resize(static_cast<size_t>(count));
  return table;
}

disc::DiscText Text(std::vector<std::pair<std::string, std::string>> entries) {
  disc::DiscText text;
  text.disc = {entries[0].first, entries[0].second};
  for (size_t i = 1; i < entries.size(); i++)
    text.tracks.push_back({entries[i].first, entries[i].second});
  return text;
}

disc::DiscText Decoded(const std::string& packs, const disc::TrackTable& table) {
  disc::DiscText text;
  disc::DecodeCdText(reinterpret_cast<const uint8_t*>(packs.data()), packs.size(), table, &text);
  return text;
}

void ExpectText(const disc::DiscText& text, const disc::DiscText& expected) {
  EXPECT_EQ(text.disc.title, expected.disc.title);
  EXPECT_EQ(text.disc.performer, expected.disc.performer);
  ASSERT_EQ(text.tracks.size(), expected.tracks.size());
  for (size_t i = 0; i < text.tracks.size(); i++) {
    EXPECT_EQ(text.tracks[i].title, expected.tracks[i].title) << i;
    EXPECT_EQ(text.tracks[i].performer, expected.tracks[i].performer) << i;
  }
}

TEST(CdTextTest, TitlesComeFromTheJapaneseBlockElseTheFirstAndSurviveDamage) {
  // Latin-1 alone: one block, read as written; tracks numbered from 3.
  const disc::DiscText western =
      Text({{"Dawn Songs", "Café Trio"}, {"First Light of a Long Morning", ""}, {"", "Solo"}});
  const std::string latin = mkdisc::CdTextPacks(mkdisc::CdTextBlocks(western), 3, 4);
  ExpectText(Decoded(latin, Tracks(3, 2)), western);

  // Japanese beside it: the MS-JIS block, with code page 932's circled
  // digit and wave dash, and ASCII in its full-width forms.
  const disc::DiscText japanese = Text({{"夜明けの歌①～", "Mika"}, {"朝", ""}, {"Dawn", ""}});
  const std::vector<mkdisc::CdTextBlock> blocks = mkdisc::CdTextBlocks(japanese);
  ASSERT_EQ(blocks.size(), 2u);
  ExpectText(Decoded(mkdisc::CdTextPacks(blocks, 1, 2), Tracks(1, 2)),
             Text({{"夜明けの歌①～", "Ｍｉｋａ"}, {"朝", ""}, {"Ｄａｗｎ", ""}}));

  // A pack whose CRC fails loses the strings it holds part of, no more:
  // the fourth title pack holds the end of track 3's title and track 4's.
  std::string damaged = latin;
  damaged[3 * disc::CdTextPackBytes + 6] ^= 0x20;
  disc::DiscText expected = western;
  expected.tracks[0].title.clear();
  ExpectText(Decoded(damaged, Tracks(3, 2)), expected);

  // A drive that gives no CRCs at all is still read.
  std::string unchecked = latin;
  for (size_t at = 16; at < unchecked.size(); at += disc::CdTextPackBytes)
    unchecked[at] = unchecked[at + 1] = 0;
  ExpectText(Decoded(unchecked, Tracks(3, 2)), western);

  // Nothing of use: no text, part of a pack, or a table without the tracks.
  disc::DiscText none;
  EXPECT_FALSE(disc::DecodeCdText(nullptr, 0, Tracks(1, 2), &none));
  EXPECT_FALSE(
      disc::DecodeCdText(reinterpret_cast<const uint8_t*>(latin.data()), 17, Tracks(3, 2), &none));
  EXPECT_EQ(Decoded(latin, Tracks(1, 1)).disc.title, "Dawn Songs");
}

}  // namespace

namespace {

// A pack as a hand would write it: no CRC, as some drives give none.
std::string HandPack(int type, int track, int sequence, int block, int position,
                     const std::string& text) {
  std::string pack{static_cast<char>(type), static_cast<char>(track), static_cast<char>(sequence),
                   static_cast<char>(block << 4 | position)};
  pack += text;
  pack.resize(disc::CdTextPackBytes, '\0');
  return pack;
}

std::string Pack(const std::string& packs, size_t index) {
  return packs.substr(index * disc::CdTextPackBytes, disc::CdTextPackBytes);
}

}  // namespace

TEST(CdTextTest, PacksAreReadInTheirSequenceWhateverOrderOrRepeatsTheyComeIn) {
  const disc::DiscText western = Text(
      {{"Dawn Songs", "Café Trio"}, {"First Light of a Long Morning", "Mika"}, {"Noon", "\t"}});
  disc::DiscText expected = western;
  expected.tracks[1].performer = "Mika";  // the tab: the same as the track before
  const std::string packs = mkdisc::CdTextPacks(mkdisc::CdTextBlocks(western), 1, 2);
  const size_t count = packs.size() / disc::CdTextPackBytes;
  ASSERT_GE(count, 6u);
  ExpectText(Decoded(packs, Tracks(1, 2)), expected);

  // Backwards, every pack twice, and the two halves swapped.
  std::string backwards, twice, swapped;
  for (size_t i = count; i-- > 0;) backwards += Pack(packs, i);
  for (size_t i = 0; i < count; i++) twice += Pack(packs, i) + Pack(packs, i);
  swapped = packs.substr(count / 2 * disc::CdTextPackBytes) +
            packs.substr(0, count / 2 * disc::CdTextPackBytes);
  ExpectText(Decoded(backwards, Tracks(1, 2)), expected);
  ExpectText(Decoded(twice, Tracks(1, 2)), expected);
  ExpectText(Decoded(swapped, Tracks(1, 2)), expected);

  // Without their size information: read as Latin-1 all the same.
  std::string unsized;
  for (size_t i = 0; i < count; i++)
    if (Pack(packs, i)[0] != static_cast<char>(0x8F)) unsized += Pack(packs, i);
  ASSERT_LT(unsized.size(), packs.size());
  ExpectText(Decoded(unsized, Tracks(1, 2)), expected);

  // By hand, where the writer would not: a title split across two packs
  // that come last-first, the second of them twice, and a tab for track
  // 2's title.
  const std::string first = HandPack(0x80, 0, 0, 0, 0, std::string("Album\0Mornin", 12));
  const std::string second = HandPack(0x80, 1, 1, 0, 6, std::string("g\0\t\0Dusk\0", 10));
  ExpectText(Decoded(second + first + second, Tracks(1, 3)),
             Text({{"Album", ""}, {"Morning", ""}, {"Morning", ""}, {"Dusk", ""}}));
  // With the first pack lost, the strings that start whole are still read.
  ExpectText(Decoded(second, Tracks(1, 3)), Text({{"", ""}, {"", ""}, {"", ""}, {"Dusk", ""}}));
}

TEST(CdTextTest, OfSeveralLanguagesTheJapaneseBlockElseTheFirstIsRead) {
  mkdisc::CdTextBlock english, german, japanese;
  english.text = Text({{"Songs of Dawn", "Trio"}, {"Morning", ""}});
  german.language = 0x08;
  std::string dawn;
  ASSERT_TRUE(common::ConvertText("ISO-8859-1", "UTF-8", "Lieder der Dämmerung", &dawn));
  german.text = Text({{dawn, "Trio"}, {"Morgen", ""}});
  japanese.language = 0x69;
  japanese.characters = 0x80;
  std::string sjis;
  ASSERT_TRUE(common::ConvertText("CP932", "UTF-8", "夜明けの歌", &sjis));
  japanese.text = Text({{sjis, ""}, {"", ""}});
  ExpectText(Decoded(mkdisc::CdTextPacks({english, german}, 1, 1), Tracks(1, 1)),
             Text({{"Songs of Dawn", "Trio"}, {"Morning", ""}}));
  ExpectText(Decoded(mkdisc::CdTextPacks({german, english}, 1, 1), Tracks(1, 1)),
             Text({{"Lieder der Dämmerung", "Trio"}, {"Morgen", ""}}));
  ExpectText(Decoded(mkdisc::CdTextPacks({english, japanese}, 1, 1), Tracks(1, 1)),
             Text({{"夜明けの歌", ""}, {"", ""}}));
}
