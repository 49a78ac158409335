// SPDX-License-Identifier: GPL-3.0-or-later
// From what the service has seen of the window and the device to what it
// publishes: the current track's metadata with its titles, the bounds of
// Next and Previous, and which properties a change touches.
#include "platform/linux/mpris/model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A disc of three tracks of 150, 113 and 226 sectors, its window shown
// on `counter` and every button enabled but Stop.
mpris::Seen Window(const std::string& counter) {
  mpris::Seen seen;
  seen.windowThere = seen.windowUsable = true;
  seen.counter = counter;
  seen.playEnabled = seen.prevEnabled = seen.nextEnabled = true;
  seen.discLoaded = true;
  for (int32_t start : {0, 150, 263}) {
    disc::Track track;
    track.start = start;
    seen.table.tracks.push_back(track);
  }
  seen.table.leadout = 489;
  return seen;
}

std::vector<std::string> Names(const mpris::Published& before, const mpris::Published& after) {
  std::vector<std::string> names;
  for (const char* name : mpris::Changed(before, after)) names.emplace_back(name);
  return names;
}

TEST(MprisModel, TheCounterNamesTheTrackAndNothingElseDoes) {
  int track = 0, count = 0;
  EXPECT_TRUE(mpris::ParseCounter("3 / 12", &track, &count));
  EXPECT_EQ(track, 3);
  EXPECT_EQ(count, 12);
  // The template's text before a disc is accepted, and anything odd.
  for (const char* text : {"00 / 00", "0 / 3", "4 / 3", "3 / 12 ", "3/12x", "", "- / -"})
    EXPECT_FALSE(mpris::ParseCounter(text, &track, &count)) << text;
}

TEST(MprisModel, MetadataCarriesTheSheetsTitlesOrTrackN) {
  mpris::Seen seen = Window("1 / 3");
  seen.text.disc = {"Nights", "The Ensemble"};
  seen.text.tracks = {{"Opening", ""}, {"", "Solo"}};  // track 3 says nothing

  mpris::Metadata first = mpris::Publish(seen).metadata;
  EXPECT_EQ(first.trackNumber, 1);
  EXPECT_EQ(first.trackId, "/org/korvane/Korvane/Track/1");
  EXPECT_EQ(first.lengthMicroseconds, 2000000);
  EXPECT_EQ(first.title, "Opening");
  EXPECT_EQ(first.album, "Nights");
  EXPECT_EQ(first.artists, std::vector<std::string>{"The Ensemble"});

  // The length is the track's exact one, not the window's whole seconds;
  // a track's own performer comes before the disc's.
  seen.counter = "2 / 3";
  mpris::Metadata second = mpris::Publish(seen).metadata;
  EXPECT_EQ(second.lengthMicroseconds, 1506666);
  EXPECT_EQ(second.title, "Track 2");
  EXPECT_EQ(second.artists, std::vector<std::string>{"Solo"});

  // The last track is one sector shorter, as the device reports it.
  seen.counter = "3 / 3";
  EXPECT_EQ(mpris::Publish(seen).metadata.lengthMicroseconds, 3000000);
  EXPECT_EQ(mpris::Publish(seen).metadata.title, "Track 3");

  // A disc that names nothing, or names it in bytes D-Bus cannot carry.
  seen.text = {};
  seen.text.disc.title = "\xFF\xFE";
  seen.counter = "1 / 3";
  mpris::Metadata bare = mpris::Publish(seen).metadata;
  EXPECT_EQ(bare.title, "Track 1");
  EXPECT_EQ(bare.album, "");
  EXPECT_TRUE(bare.artists.empty());

  // No accepted disc yet: no current track, and an empty map.
  EXPECT_EQ(mpris::Publish(Window("00 / 00")).metadata.trackNumber, 0);
  seen.windowThere = false;
  EXPECT_EQ(mpris::Publish(seen).metadata.trackNumber, 0);
}

TEST(MprisModel, NextAndPreviousStopAtTheBoundsAndFollowTheButtons) {
  mpris::Published first = mpris::Publish(Window("1 / 3"));
  EXPECT_TRUE(first.canGoNext);
  EXPECT_FALSE(first.canGoPrevious);
  EXPECT_TRUE(first.canPlay);
  mpris::Published last = mpris::Publish(Window("3 / 3"));
  EXPECT_FALSE(last.canGoNext);
  EXPECT_TRUE(last.canGoPrevious);

  // Disabled buttons, a window no user can click, or no window at all.
  mpris::Seen disabled = Window("2 / 3");
  disabled.nextEnabled = disabled.prevEnabled = disabled.playEnabled = false;
  mpris::Published none = mpris::Publish(disabled);
  EXPECT_FALSE(none.canGoNext || none.canGoPrevious || none.canPlay);
  disabled.stopEnabled = true;  // playing: PlayPause stops
  EXPECT_TRUE(mpris::Publish(disabled).canPlay);
  mpris::Seen covered = Window("2 / 3");
  covered.windowUsable = false;
  none = mpris::Publish(covered);
  EXPECT_FALSE(none.canGoNext || none.canGoPrevious || none.canPlay);
  EXPECT_EQ(none.metadata.trackNumber, 2);  // still the window's track
}

TEST(MprisModel, AChangeNamesTheTouchedPropertiesOnlyAndNeverPosition) {
  mpris::Seen seen = Window("1 / 3");
  mpris::Published stopped = mpris::Publish(seen);
  EXPECT_TRUE(Names(stopped, stopped).empty());

  seen.playing = true;
  seen.playEnabled = false;
  seen.stopEnabled = true;
  seen.elapsedSeconds = 2;
  mpris::Published playing = mpris::Publish(seen);
  EXPECT_EQ(playing.positionMicroseconds, 2000000);
  EXPECT_EQ(Names(stopped, playing), std::vector<std::string>{"PlaybackStatus"});

  seen.counter = "3 / 3";
  EXPECT_EQ(Names(playing, mpris::Publish(seen)),
            (std::vector<std::string>{"Metadata", "CanGoNext", "CanGoPrevious"}));

  mpris::Seen gone = seen;
  gone.windowThere = gone.windowUsable = false;
  gone.playing = false;
  EXPECT_EQ(Names(mpris::Publish(seen), mpris::Publish(gone)),
            (std::vector<std::string>{"PlaybackStatus", "Metadata", "CanGoPrevious", "CanPlay",
                                      "CanPause"}));
}

}  // namespace

namespace {

titles::Album FoundOnline() {
  titles::Album album;
  album.releaseId = "7a1c2f3e-4b5d-4e6f-8a9b-0c1d2e3f4a5b";
  album.title = "Songs of the Two Rivers";
  album.artist = "Ana Vale & The Weirs";
  album.discNumber = 2;
  album.songs = {{"Delta", "Ana Vale feat. Oskar Lind"}, {"Estuary", ""}};  // no third
  album.coverPath = "/home/a b/.cache/korvane/Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-.jpg";
  return album;
}

TEST(MprisModel, TitlesFoundOnlineNameATrackByItsPositionWithTheAlbumsCreditAndCover) {
  mpris::Seen seen = Window("1 / 3");
  seen.found = FoundOnline();
  mpris::Metadata first = mpris::Publish(seen).metadata;
  EXPECT_EQ(first.title, "Delta");
  EXPECT_EQ(first.album, "Songs of the Two Rivers");
  EXPECT_EQ(first.artists, std::vector<std::string>{"Ana Vale feat. Oskar Lind"});
  EXPECT_EQ(first.albumArtist, "Ana Vale & The Weirs");
  EXPECT_EQ(first.discNumber, 2);
  EXPECT_EQ(first.artUrl, "file:///home/a%20b/.cache/korvane/Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-.jpg");

  // A track without a credit of its own carries the release's; one the
  // medium does not list is "Track N", on the same album.
  seen.counter = "2 / 3";
  mpris::Metadata second = mpris::Publish(seen).metadata;
  EXPECT_EQ(second.artists, std::vector<std::string>{"Ana Vale & The Weirs"});
  seen.counter = "3 / 3";
  mpris::Metadata third = mpris::Publish(seen).metadata;
  EXPECT_EQ(third.title, "Track 3");
  EXPECT_EQ(third.album, "Songs of the Two Rivers");

  // Titles arriving mid-play change the metadata, and so are told.
  mpris::Seen before = seen;
  before.found = titles::Album();
  EXPECT_EQ(Names(mpris::Publish(before), mpris::Publish(seen)),
            std::vector<std::string>{"Metadata"});
  EXPECT_EQ(mpris::Publish(before).metadata.discNumber, 0);
  EXPECT_EQ(mpris::Publish(before).metadata.artUrl, "");

  // A disc that names anything itself keeps its own titles.
  seen.counter = "1 / 3";
  seen.text.tracks = {{"", "Solo"}};
  mpris::Metadata own = mpris::Publish(seen).metadata;
  EXPECT_EQ(own.title, "Track 1");
  EXPECT_EQ(own.artists, std::vector<std::string>{"Solo"});
  EXPECT_EQ(own.albumArtist, "");
  EXPECT_EQ(own.artUrl, "");
}

}  // namespace
