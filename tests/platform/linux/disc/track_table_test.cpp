// SPDX-License-Identifier: GPL-3.0-or-later
// Where playable audio ends on mixed discs, and how a table that cannot
// describe its image is caught.
#include "platform/linux/disc/track_table.h"

#include <gtest/gtest.h>

using disc::Track;

namespace {

// Why the table is refused for an image of `available` sectors; "" when
// it is not.
std::string Refusal(const disc::TrackTable& table, int32_t available) {
  std::string why;
  return disc::CheckTrackTable(table, available, &why) ? "" : why;
}

disc::TrackTable Table(std::vector<disc::Track> tracks, int32_t leadout) {
  disc::TrackTable table;
  table.tracks = std::move(tracks);
  table.leadout = leadout;
  return table;
}

disc::Track Audio(int32_t start, int32_t pregap = -1) { return {start, pregap, true, 1}; }
disc::Track Data(int32_t start, int32_t pregap = -1, int session = 1) {
  return {start, pregap, false, session};
}

}  // namespace

TEST(TrackTableTest, AudioStopsBeforeDataAndItsPregapButRunsOnThroughAudio) {
  // Audio, audio, then data in the same session: the data track's pregap
  // is data too, 150 sectors unless the source says where it starts.
  disc::TrackTable table = Table({Audio(0), Audio(1000), Data(3000)}, 5000);
  EXPECT_EQ(disc::AudioEnd(table, 1), 2850);
  EXPECT_EQ(disc::AudioEnd(table, 2), 2850);
  EXPECT_EQ(disc::TrackLength(table, 2), 2000);
  table.tracks[2].pregap = 2900;
  EXPECT_EQ(disc::AudioEnd(table, 2), 2900);

  // A CD-Extra: the session gap is neither played nor counted.
  table = Table({Audio(0), Audio(1000), Data(20000, -1, 2)}, 21000);
  EXPECT_EQ(disc::AudioEnd(table, 2), 20000 - 11400);
  EXPECT_EQ(disc::TrackLength(table, 2), 20000 - 11400 - 1000);
  EXPECT_EQ(disc::TrackLength(table, 3), 999);

  // Data first: audio from track 2 runs to the end of the disc.
  table = Table({Data(0), Audio(600)}, 900);
  EXPECT_EQ(disc::AudioEnd(table, 2), 900);
  EXPECT_EQ(disc::TrackAt(table, 599), 1);
  EXPECT_EQ(disc::TrackAt(table, 600), 2);
  EXPECT_EQ(disc::TrackAt(table, 900), 0);
}

TEST(TrackTableTest, TablesThatDoNotFitTheirImageAreRefused) {
  EXPECT_EQ(Refusal(Table({Audio(0), Audio(100)}, 200), 200), "");
  EXPECT_NE(Refusal(Table({Audio(0), Audio(100)}, 200), 150),
            "");                                                   // past the end of the image
  EXPECT_NE(Refusal(Table({Audio(0), Audio(0)}, 200), -1), "");    // overlapping
  EXPECT_NE(Refusal(Table({Audio(50), Audio(10)}, 200), -1), "");  // out of order
  EXPECT_NE(Refusal(Table({Audio(0), Audio(300)}, 200), -1),
            "");  // leadout before a track
  EXPECT_NE(Refusal(Table({Audio(0), Audio(100, 150)}, 200), -1),
            "");  // pregap after its index 1
  EXPECT_NE(Refusal(Table({}, 200), -1), "");
  disc::TrackTable hundred = Table(std::vector<disc::Track>(100, Audio(0)), 20000);
  for (int i = 0; i < 100; i++) hundred.tracks[static_cast<size_t>(i)].start = i * 10;
  EXPECT_NE(Refusal(hundred, -1), "");
}
