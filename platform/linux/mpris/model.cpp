// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/mpris/model.h"

#include <cstdio>

#include "platform/linux/common/text.h"

namespace mpris {

namespace {

constexpr int64_t MicrosecondsPerSecond = 1000000;

// A text the disc gives, if D-Bus can carry it.
std::string Shown(const std::string& text) { return common::ValidUtf8(text) ? text : ""; }

// The titles found online, for a disc that names nothing itself: by the
// track's position on the medium.
Metadata Found(const Seen& seen, Metadata metadata) {
  const titles::Album& album = seen.found;
  const size_t index = static_cast<size_t>(metadata.trackNumber - seen.table.first);
  const titles::Song none;
  const titles::Song& song = index < album.songs.size() ? album.songs[index] : none;
  metadata.title = Shown(song.title);
  if (metadata.title.empty()) metadata.title = "Track " + std::to_string(metadata.trackNumber);
  metadata.album = Shown(album.title);
  metadata.albumArtist = Shown(album.artist);
  std::string artist = Shown(song.artist);
  if (artist.empty()) artist = metadata.albumArtist;
  if (!artist.empty()) metadata.artists.push_back(artist);
  metadata.discNumber = album.discNumber;
  if (!album.coverPath.empty()) metadata.artUrl = FileUrl(album.coverPath);
  return metadata;
}

Metadata MetadataOf(const Seen& seen, int track) {
  Metadata metadata;
  metadata.trackNumber = track;
  metadata.trackId = "/org/korvane/Korvane/Track/" + std::to_string(track);
  const disc::TrackTable& table = seen.table;
  if (seen.discLoaded && table.Has(track))
    metadata.lengthMicroseconds = LengthMicroseconds(disc::TrackLength(table, track));
  const disc::TrackText none;
  const size_t index = static_cast<size_t>(track - table.first);
  const disc::TrackText& own =
      seen.discLoaded && table.Has(track) && index < seen.text.tracks.size()
          ? seen.text.tracks[index]
          : none;
  const disc::TrackText& album = seen.discLoaded ? seen.text.disc : none;
  if (seen.discLoaded && table.Has(track) && !seen.found.Empty() && !seen.text.NamesAnything())
    return Found(seen, metadata);
  metadata.title = Shown(own.title);
  if (metadata.title.empty()) metadata.title = "Track " + std::to_string(track);
  metadata.album = Shown(album.title);
  std::string artist = Shown(own.performer);
  if (artist.empty()) artist = Shown(album.performer);
  if (!artist.empty()) metadata.artists.push_back(artist);
  return metadata;
}

}  // namespace

bool Metadata::operator==(const Metadata& other) const {
  return trackNumber == other.trackNumber && trackId == other.trackId &&
         lengthMicroseconds == other.lengthMicroseconds && title == other.title &&
         album == other.album && artists == other.artists && albumArtist == other.albumArtist &&
         discNumber == other.discNumber && artUrl == other.artUrl;
}

std::string FileUrl(const std::string& path) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += Hex[c >> 4];
      url += Hex[c & 15];
    }
  }
  return url;
}

bool ParseCounter(const std::string& text, int* track, int* count) {
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d / %d%n", track, count, &consumed) != 2) return false;
  return static_cast<size_t>(consumed) == text.size() && *track >= 1 && *track <= *count;
}

int64_t LengthMicroseconds(int32_t sectors) {
  return static_cast<int64_t>(sectors) * MicrosecondsPerSecond / disc::SectorsPerSecond;
}

Published Publish(const Seen& seen) {
  Published published;
  published.playing = seen.playing;
  int track = 0, count = 0;
  if (!seen.windowThere || !ParseCounter(seen.counter, &track, &count)) return published;
  published.metadata = MetadataOf(seen, track);
  published.positionMicroseconds =
      static_cast<int64_t>(seen.elapsedSeconds) * MicrosecondsPerSecond;
  if (!seen.windowUsable) return published;
  // Next and Previous stop at the first and last tracks: there is no wrap.
  published.canGoNext = seen.nextEnabled && track < count;
  published.canGoPrevious = seen.prevEnabled && track > 1;
  published.canPlay = seen.playEnabled || seen.stopEnabled;
  return published;
}

std::vector<const char*> Changed(const Published& before, const Published& after) {
  std::vector<const char*> names;
  if (before.playing != after.playing) names.push_back("PlaybackStatus");
  if (before.metadata != after.metadata) names.push_back("Metadata");
  if (before.canGoNext != after.canGoNext) names.push_back("CanGoNext");
  if (before.canGoPrevious != after.canGoPrevious) names.push_back("CanGoPrevious");
  if (before.canPlay != after.canPlay) {
    names.push_back("CanPlay");
    names.push_back("CanPause");
  }
  return names;
}

}  // namespace mpris
