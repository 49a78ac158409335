// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/disc/track_table.h"

namespace disc {

int32_t TrackTable::NextStart(int number) const {
  return number < Last() ? Numbered(number + 1).start : leadout;
}

bool CheckTrackTable(const TrackTable& table, int32_t available, std::string* why) {
  auto refuse = [why](const std::string& what) {
    *why = what;
    return false;
  };
  int count = static_cast<int>(table.tracks.size());
  if (count < 1) return refuse("the disc has no tracks");
  if (count > MaxTracks || table.first < 1 || table.Last() > MaxTracks)
    return refuse("track numbers outside 1 to 99");
  int32_t previous = -1;
  for (int number = table.first; number <= table.Last(); number++) {
    const Track& track = table.Numbered(number);
    if (track.start < 0 || track.start <= previous)
      return refuse("track " + std::to_string(number) + " does not start after the one before it");
    if (track.pregap >= 0 && (track.pregap > track.start || track.pregap < previous))
      return refuse("track " + std::to_string(number) +
                    " has its pregap outside the track before it");
    previous = track.start;
  }
  if (table.leadout <= previous)
    return refuse("the last track starts at or past the end of the disc");
  if (available >= 0 && table.leadout > available)
    return refuse("the tracks run past the end of the image (" + std::to_string(table.leadout) +
                  " sectors listed, " + std::to_string(available) + " present)");
  return true;
}

// True when `number` is followed by the first track of a later session.
static bool EndsSession(const TrackTable& table, int number) {
  return number < table.Last() &&
         table.Numbered(number + 1).session > table.Numbered(number).session;
}

int32_t TrackLength(const TrackTable& table, int number) {
  const Track& track = table.Numbered(number);
  int32_t length = table.NextStart(number) - track.start;
  if (number == table.Last()) length -= 1;
  if (EndsSession(table, number) && length > SessionGap) length -= SessionGap;
  return length;
}

int32_t AudioEnd(const TrackTable& table, int number) {
  int last = number;
  while (last < table.Last() && table.Numbered(last + 1).audio) last++;
  int32_t end = table.NextStart(last);
  if (last == table.Last()) return end;
  const Track& data = table.Numbered(last + 1);
  int32_t floor = table.Numbered(last).start + 1;
  if (EndsSession(table, last))
    end -= SessionGap;
  else if (data.pregap >= 0)
    end = data.pregap;
  else
    end -= DataPregap;
  return end < floor ? floor : end;
}

int TrackAt(const TrackTable& table, int32_t lsn) {
  if (table.tracks.empty() || lsn < table.tracks.front().start || lsn >= table.leadout) return 0;
  int number = table.first;
  while (number < table.Last() && table.Numbered(number + 1).start <= lsn) number++;
  return number;
}

uint32_t PackMsf(int32_t sectors) {
  if (sectors < 0) sectors = 0;
  uint32_t minutes = static_cast<uint32_t>(sectors) / (60 * SectorsPerSecond);
  uint32_t seconds = static_cast<uint32_t>(sectors) / SectorsPerSecond % 60;
  uint32_t frames = static_cast<uint32_t>(sectors) % SectorsPerSecond;
  if (minutes > 255) minutes = 255;
  return minutes | seconds << 8 | frames << 16;
}

}  // namespace disc
