// SPDX-License-Identifier: GPL-3.0-or-later
// The folder's front door: LoadDisc sends a source to the loader of its
// kind. Images are read by the device itself (cue_image.cpp, toc.cpp,
// nrg.cpp); drives go through libcdio here and are read by drive.cpp.
#include "platform/linux/disc/disc.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/linux/common/text.h"
#include "platform/linux/disc/deemphasis.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

void DiscardLog(cdio_log_level_t, const char*) {}

// Reads the table libcdio reports; false when there is none (no disc).
bool ReadTable(CdIo_t* cdio, TrackTable* table) {
  track_t first = cdio_get_first_track_num(cdio);
  track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return false;
  lsn_t sessionStart = CDIO_INVALID_LSN;
  if (cdio_get_last_session(cdio, &sessionStart) != DRIVER_OP_SUCCESS)
    sessionStart = CDIO_INVALID_LSN;
  table->first = first;
  for (int number = first; number < first + count; number++) {
    Track track;
    track.start = cdio_get_track_lsn(cdio, static_cast<track_t>(number));
    lsn_t pregap = cdio_get_track_pregap_lsn(cdio, static_cast<track_t>(number));
    track.pregap = pregap == CDIO_INVALID_LSN ? -1 : pregap;
    track.audio = cdio_get_track_format(cdio, static_cast<track_t>(number)) == TRACK_FORMAT_AUDIO;
    track.preEmphasis =
        track.audio &&
        cdio_get_track_preemphasis(cdio, static_cast<track_t>(number)) == CDIO_TRACK_FLAG_TRUE;
    track.session = sessionStart > 0 && track.start >= sessionStart ? 2 : 1;
    table->tracks.push_back(track);
  }
  table->leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  return true;
}

}  // namespace

void CdioCloser::operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }

void QuietCdio() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_log_set_handler(DiscardLog); });
}

namespace {

// The drive holds a disc the player accepts: one that begins with audio.
bool HoldsAudioDisc(const std::string& drive) {
  const CdioHandle cdio(cdio_open(drive.c_str(), DRIVER_LINUX));
  if (!cdio) return false;
  track_t first = cdio_get_first_track_num(cdio.get());
  track_t count = cdio_get_num_tracks(cdio.get());
  return first != CDIO_INVALID_TRACK && count != CDIO_INVALID_TRACK && count > 0 &&
         cdio_get_track_format(cdio.get(), first) == TRACK_FORMAT_AUDIO;
}

// The node's device number, by which the kernel numbers its drives (sr0
// before sr1); the largest there is when it has none, so it comes last.
dev_t DeviceNumber(const std::string& node) {
  struct stat info;
  if (stat(node.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return static_cast<dev_t>(-1);
  return info.st_rdev;
}

}  // namespace

std::vector<std::string> Drives() {
  QuietCdio();
  std::vector<std::string> drives;
  // The GNU/Linux driver's own search, which opens no drive but to ask
  // what it is.
  char** names = cdio_get_devices(DRIVER_LINUX);
  if (names) {
    for (char** name = names; *name; name++) drives.emplace_back(*name);
    cdio_free_device_list(names);
  }
  // libcdio lists udev's /dev/cdrom first, whichever drive it points to,
  // and each drive once.
  std::vector<std::pair<dev_t, std::string>> numbered;
  for (const std::string& drive : drives) numbered.emplace_back(DeviceNumber(drive), drive);
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  drives.clear();
  for (const auto& [number, drive] : numbered) drives.push_back(drive);
  return drives;
}

std::string DefaultSource() {
  const char* named = std::getenv("CDAUDIO_DEVICE");
  if (named && *named) return named;
  std::vector<std::string> drives = Drives();
  for (const std::string& drive : drives)
    if (HoldsAudioDisc(drive)) return drive;
  // No drive holds one: the first drive's state (empty, or a disc that
  // does not begin with audio) decides what the user is told.
  return drives.empty() ? "" : drives.front();
}

namespace {

// Drives through libcdio; any other regular file is read as a Nero image
// (whose footer, not its name, says what it is), never by libcdio.
DiscState LoadCdioDisc(const std::string& source, Disc* disc, std::string* why) {
  QuietCdio();
  // A FIFO, socket or folder is no drive: opening one could wait for ever.
  struct stat info;
  if (stat(source.c_str(), &info) == 0 && !S_ISBLK(info.st_mode) && !S_ISCHR(info.st_mode)) {
    if (!S_ISREG(info.st_mode)) {
      *why = source + ": not a CD drive or disc image";
      return DiscState::Unreadable;
    }
    return LoadNrgImage(source, disc, why) ? DiscState::Ready : DiscState::Unreadable;
  }
  CdioHandle cdio(cdio_open(source.c_str(), DRIVER_LINUX));
  if (!cdio) {
    *why = source + ": not a CD drive or disc image that can be read";
    return DiscState::Unreadable;
  }
  TrackTable table;
  if (!ReadTable(cdio.get(), &table)) {
    *why = source + ": no disc";
    return DiscState::NoDisc;
  }
  std::string problem;
  if (!CheckTrackTable(table, -1, &problem)) {
    *why = source + ": " + problem;
    return DiscState::Unreadable;
  }
  ReadDriveText(cdio.get(), table, &disc->text);
  if (!OpenDriveReader(std::move(cdio), table.leadout, &disc->reader, &problem)) {
    *why = source + ": " + problem;
    return DiscState::Unreadable;
  }
  disc->table = table;
  return DiscState::Ready;
}

DiscState LoadByName(const std::string& source, Disc* disc, std::string* why) {
  size_t dot = source.rfind('.');
  const std::string extension =
      common::AsciiLower(dot == std::string::npos ? "" : source.substr(dot));
  bool loaded;
  if (extension == ".cue")
    loaded = LoadCueImage(source, disc, why);
  else if (extension == ".toc")
    loaded = LoadTocImage(source, disc, why);
  else if (extension == ".bin")
    loaded = LoadBinImage(source, disc, why);
  else
    return LoadCdioDisc(source, disc, why);
  return loaded ? DiscState::Ready : DiscState::Unreadable;
}

}  // namespace

DiscState LoadDisc(const std::string& source, Disc* disc, std::string* why) {
  // The readers throw nothing of their own; a sheet or table too large for
  // the memory there is must not end the player either.
  try {
    // Nothing of a disc loaded before is left, its titles least of all.
    *disc = Disc();
    const DiscState state = LoadByName(source, disc, why);
    if (state == DiscState::Ready) UndoPreEmphasis(disc);
    return state;
  } catch (const std::bad_alloc&) {
    *why = source + ": too large to load";
    return DiscState::Unreadable;
  }
}

}  // namespace disc
