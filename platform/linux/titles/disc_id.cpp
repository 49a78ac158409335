// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/disc_id.h"

#include <discid/discid.h>

#include <memory>

namespace titles {

bool AudioTocOf(const disc::TrackTable& table, AudioToc* toc, std::string* why) {
  // Data tracks at the end (a data session after the audio) are not part
  // of the audio disc MusicBrainz knows.
  size_t count = table.tracks.size();
  int32_t leadout = table.leadout;
  while (count > 0 && !table.tracks[count - 1].audio) {
    leadout = table.tracks[count - 1].start - disc::SessionGap;
    --count;
  }
  if (count == 0) {
    *why = "the disc has no audio track";
    return false;
  }
  toc->first = table.first;
  toc->last = table.first + static_cast<int>(count) - 1;
  toc->offsets.assign(1, leadout + disc::MsfOffset);
  for (size_t i = 0; i < count; ++i)
    toc->offsets.push_back(table.tracks[i].start + disc::MsfOffset);
  return true;
}

bool DiscIdOf(const disc::TrackTable& table, std::string* id, std::string* why) {
  AudioToc toc;
  if (!AudioTocOf(table, &toc, why)) return false;
  std::unique_ptr<DiscId, void (*)(DiscId*)> discId(discid_new(), discid_free);
  if (!discId) {
    *why = "no memory for the disc ID";
    return false;
  }
  // libdiscid wants the offsets of tracks 1..last after the lead-out, and
  // reads none before `first`.
  std::vector<int> offsets(static_cast<size_t>(toc.last) + 1, 0);
  offsets[0] = toc.offsets[0];
  for (int track = toc.first; track <= toc.last; ++track)
    offsets[static_cast<size_t>(track)] = toc.offsets[static_cast<size_t>(track - toc.first + 1)];
  if (!discid_put(discId.get(), toc.first, toc.last, offsets.data())) {
    *why = std::string("the table of contents gives no disc ID: ") +
           discid_get_error_msg(discId.get());
    return false;
  }
  *id = discid_get_id(discId.get());
  return true;
}

bool WellFormedDiscId(const std::string& id) {
  if (id.size() != 28) return false;
  for (char c : id) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!letter && c != '.' && c != '_' && c != '-') return false;
  }
  return true;
}

}  // namespace titles
