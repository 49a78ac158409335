// SPDX-License-Identifier: GPL-3.0-or-later
// MusicBrainz's answer to a disc ID lookup
// (/ws/2/discid/{id}?inc=artist-credits+recordings&fmt=json), read into the
// titles of the one medium that holds the disc.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_ANSWER_H
#define KORVANE_PLATFORM_LINUX_TITLES_ANSWER_H

#include <string>

#include "platform/linux/titles/album.h"

namespace titles {

// Which release, when several hold the disc: the first whose status is
// "Official", else the first, in the order MusicBrainz lists them (which
// is stable for a given state of its database). Within it, the first
// medium whose `discs` list holds `discId`: never simply the first medium,
// so that the second disc of a set gets its own tracks.
//
// False, with `why`, when the body is not JSON, a field has another type
// than MusicBrainz documents, or no medium holds the disc.
bool ReadAnswer(const std::string& body, const std::string& discId, Album* album, std::string* why);

// Whether `mbid` has the form of a MusicBrainz ID (a lower-case UUID), and so
// is safe in a URL and a file as it is.
bool WellFormedMbid(const std::string& mbid);

}  // namespace titles

#endif
