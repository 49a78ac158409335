// SPDX-License-Identifier: GPL-3.0-or-later
// The disc's MusicBrainz disc ID, worked out by libdiscid from the table of
// contents the device reads, whether from a drive or an image.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_DISC_ID_H
#define KORVANE_PLATFORM_LINUX_TITLES_DISC_ID_H

#include <string>
#include <vector>

#include "platform/linux/disc/track_table.h"

namespace titles {

// The table as the disc ID sees it: the audio session only. An Enhanced CD
// (audio, then a data session) ends with its last audio track, and its
// lead-out is the data track's start less the gap between the sessions.
// Offsets are MSF sectors (LSN + 150): the lead-out first, then each track.
struct AudioToc {
  int first = 1;
  int last = 0;
  std::vector<int> offsets;
};

bool AudioTocOf(const disc::TrackTable& table, AudioToc* toc, std::string* why);

// The disc ID: 28 characters of [A-Za-z0-9._-].
bool DiscIdOf(const disc::TrackTable& table, std::string* id, std::string* why);

// Whether `id` has the form of a disc ID, and so is safe in a file name and
// a URL as it is.
bool WellFormedDiscId(const std::string& id);

}  // namespace titles

#endif
