// SPDX-License-Identifier: GPL-3.0-or-later
// What a disc says of itself: its title and performer and each track's, in
// UTF-8, as its sheet writes them. Empty where it says nothing. The device
// plays none of it; the desktop's media service shows it.
#ifndef KORVANE_PLATFORM_LINUX_DISC_DISC_TEXT_H
#define KORVANE_PLATFORM_LINUX_DISC_DISC_TEXT_H

#include <string>
#include <vector>

namespace disc {

struct TrackText {
  std::string title;      // TITLE
  std::string performer;  // PERFORMER

  bool Names() const { return !title.empty() || !performer.empty(); }
};

struct DiscText {
  TrackText disc;                 // the album: the lines before the first TRACK
  std::vector<TrackText> tracks;  // in the order of the track table; may be short

  // Whether the disc names anything at all: such a disc keeps its own
  // titles and is not looked up.
  bool NamesAnything() const {
    if (disc.Names()) return true;
    for (const TrackText& track : tracks)
      if (track.Names()) return true;
    return false;
  }
};

}  // namespace disc

#endif
