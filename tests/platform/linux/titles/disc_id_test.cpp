// SPDX-License-Identifier: GPL-3.0-or-later
// The disc ID from the device's track table, against the published
// vectors, and an Enhanced CD identified by its audio session.
#include "platform/linux/titles/disc_id.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A table from MSF offsets as the published vectors give them: the
// lead-out first, then each track.
disc::TrackTable TableOf(const std::vector<int>& offsets) {
  disc::TrackTable table;
  table.leadout = offsets[0] - disc::MsfOffset;
  for (size_t i = 1; i < offsets.size(); ++i) {
    disc::Track track;
    track.start = offsets[i] - disc::MsfOffset;
    table.tracks.push_back(track);
  }
  return table;
}

std::string IdOf(const disc::TrackTable& table) {
  std::string id, why;
  EXPECT_TRUE(titles::DiscIdOf(table, &id, &why)) << why;
  return id;
}

// MusicBrainz's own example of six tracks, from its documentation of the
// calculation.
const std::vector<int> SixTracks = {95462, 150, 15363, 32314, 46592, 63414, 80489};

TEST(DiscId, ThePublishedVectorsGiveTheirIds) {
  EXPECT_EQ(IdOf(TableOf(SixTracks)), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
  // libdiscid's test table of 22 tracks.
  EXPECT_EQ(IdOf(TableOf({303602, 150,    9700,   25887,  39297,  53795,  63735,  77517,
                          94877,  107270, 123552, 135522, 148422, 161197, 174790, 192022,
                          205545, 218010, 228700, 239590, 255470, 266932, 288750})),
            "xUp1F2NkfP8s8jaeFn_Av3jNEI4-");
  EXPECT_TRUE(titles::WellFormedDiscId("49HHV7Eb8UKF3aQiNmu1GR8vKTY-"));
}

TEST(DiscId, AnEnhancedCdIsKnownByItsAudioSession) {
  // The same six audio tracks, then a data session: its track starts
  // after the gap between the sessions, and its end is the disc's.
  disc::TrackTable enhanced = TableOf(SixTracks);
  disc::Track data;
  data.start = 95462 - disc::MsfOffset + disc::SessionGap;
  data.audio = false;
  data.session = 2;
  enhanced.tracks.push_back(data);
  enhanced.leadout = data.start + 40000;

  titles::AudioToc toc;
  std::string why;
  ASSERT_TRUE(titles::AudioTocOf(enhanced, &toc, &why)) << why;
  EXPECT_EQ(toc.first, 1);
  EXPECT_EQ(toc.last, 6);
  EXPECT_EQ(toc.offsets.front(), 95462);
  EXPECT_EQ(IdOf(enhanced), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");

  // A disc that starts with its data track (mixed mode) keeps it.
  disc::TrackTable mixed = TableOf(SixTracks);
  mixed.tracks[0].audio = false;
  ASSERT_TRUE(titles::AudioTocOf(mixed, &toc, &why)) << why;
  EXPECT_EQ(toc.last, 6);
  EXPECT_EQ(IdOf(mixed), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
}

TEST(DiscId, ATableWithoutAnIdSaysWhy) {
  disc::TrackTable data = TableOf({20000, 150});
  data.tracks[0].audio = false;
  std::string id, why;
  EXPECT_FALSE(titles::DiscIdOf(data, &id, &why));
  EXPECT_NE(why.find("no audio track"), std::string::npos);

  // Tracks out of order, as no disc has them, are refused by libdiscid.
  disc::TrackTable disorder = TableOf({20000, 150, 9000, 5000});
  why.clear();
  EXPECT_FALSE(titles::DiscIdOf(disorder, &id, &why));
  EXPECT_FALSE(why.empty());

  for (const char* bad : {"", "../../etc/passwd-aaaaaaaaaaaa", "49HHV7Eb8UKF3aQiNmu1GR8vKTY",
                          "49HHV7Eb8UKF3aQiNmu1GR8vK/Y-"})
    EXPECT_FALSE(titles::WellFormedDiscId(bad)) << bad;
}

}  // namespace
