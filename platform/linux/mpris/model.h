// SPDX-License-Identifier: GPL-3.0-or-later
// What the media service publishes, worked out from what it has seen the
// player do: the device's plays and the disc it loaded, the window's track
// counter, its buttons and the seconds the system last set on its slider.
// No D-Bus here: the service (service.cpp) puts these values on the bus.
#ifndef KORVANE_PLATFORM_LINUX_MPRIS_MODEL_H
#define KORVANE_PLATFORM_LINUX_MPRIS_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"
#include "platform/linux/disc/track_table.h"
#include "platform/linux/titles/album.h"

namespace mpris {

// What the service has seen.
struct Seen {
  // The window.
  bool windowThere = false;   // the dialog exists and has not ended
  bool windowUsable = false;  // and a user could click it: shown, no box over it
  std::string counter;        // the track counter's text, "3 / 12"
  bool playEnabled = false;
  bool stopEnabled = false;
  bool prevEnabled = false;
  bool nextEnabled = false;
  long elapsedSeconds = 0;  // of the current play, as the system counts them
  // The device.
  bool playing = false;  // its last PLAY was accepted, and nothing stopped it since
  bool discLoaded = false;
  disc::TrackTable table;
  disc::DiscText text;
  // What was found on MusicBrainz for a disc that names nothing itself.
  titles::Album found;
};

struct Metadata {
  int trackNumber = 0;  // 0: no current track, and the map is empty
  std::string trackId;  // an object path
  int64_t lengthMicroseconds = 0;
  std::string title;
  std::string album;                 // "" when the disc has no title
  std::vector<std::string> artists;  // empty when nobody is named
  std::string albumArtist;           // "" when the album's artist is not known
  int discNumber = 0;                // 0: not one of several discs
  std::string artUrl;                // a file:// URL, "" when there is no cover

  bool operator==(const Metadata& other) const;
  bool operator!=(const Metadata& other) const { return !(*this == other); }
};

// The values of org.mpris.MediaPlayer2.Player that change.
struct Published {
  bool playing = false;  // PlaybackStatus: "Playing", else "Stopped"; there is no pause
  Metadata metadata;
  bool canGoNext = false;
  bool canGoPrevious = false;
  bool canPlay = false;  // and CanPause, which is the same: PlayPause stops
  int64_t positionMicroseconds = 0;
};

// The track counter's "3 / 12"; false for any other text.
bool ParseCounter(const std::string& text, int* track, int* count);

// A file's path as a file:// URL.
std::string FileUrl(const std::string& path);

// A track's exact length on the disc (not the window's whole seconds), in
// microseconds.
int64_t LengthMicroseconds(int32_t sectors);

Published Publish(const Seen& seen);

// The names of the properties whose values differ, in the order the
// interface lists them. Position is never among them: it changes with the
// clock, and clients ask for it.
std::vector<const char*> Changed(const Published& before, const Published& after);

}  // namespace mpris

#endif
