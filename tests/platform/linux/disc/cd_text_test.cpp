// SPDX-License-Identifier: GPL-3.0-or-later
// The titles a disc carries as CD-Text, in the packs a drive or a Nero
// image gives: the Japanese block before the English one, code page 932's
// own characters whole, and damaged packs left out without losing the
// titles around them.
#include <gtest/gtest.h>

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
