// SPDX-License-Identifier: GPL-3.0-or-later
// The titles found for a disc that names nothing itself: the medium of a
// MusicBrainz release whose disc IDs hold the disc's, and its cover.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_ALBUM_H
#define KORVANE_PLATFORM_LINUX_TITLES_ALBUM_H

#include <string>
#include <vector>

namespace titles {

struct Song {
  std::string title;   // "" where the medium lists no track at this position
  std::string artist;  // its own artist credit, joined; "" where it has none
};

struct Album {
  std::string releaseId;    // the release's MBID
  std::string title;        // the release's title
  std::string artist;       // the release's artist credit, joined
  int discNumber = 0;       // the medium's position when the release has several, else 0
  std::vector<Song> songs;  // by position on the medium: songs[0] is its track 1
  bool frontCover = false;  // the Cover Art Archive has a front cover of the release
  std::string coverPath;    // the cached cover, an absolute path; "" when there is none

  bool Empty() const { return releaseId.empty(); }
  bool operator==(const Album& other) const;
  bool operator!=(const Album& other) const { return !(*this == other); }
};

inline bool operator==(const Song& a, const Song& b) {
  return a.title == b.title && a.artist == b.artist;
}

inline bool Album::operator==(const Album& other) const {
  return releaseId == other.releaseId && title == other.title && artist == other.artist &&
         discNumber == other.discNumber && songs == other.songs && frontCover == other.frontCover &&
         coverPath == other.coverPath;
}

}  // namespace titles

#endif
