// SPDX-License-Identifier: GPL-3.0-or-later
// The folder's front door: LoadDisc sends a source to the loader of its
// kind. Cue sheets, .toc files and bins are read by the device itself
// (cue_image.cpp, toc.cpp); drives and the images libcdio reads well
// (.nrg) go through libcdio here. Drives are read by drive.cpp; Nero
// images by plain sector reads clamped to the checked table.
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

class ImageReader : public SectorReader {
 public:
  ImageReader(CdioHandle cdio, int32_t end) : cdio_(std::move(cdio)), end_(end) {}

  bool Read(int32_t lsn, int32_t count, uint8_t* out) override {
    if (lsn < 0 || count < 0 || lsn + count > end_) return false;
    return cdio_read_audio_sectors(cdio_.get(), out, lsn, static_cast<uint32_t>(count)) ==
           DRIVER_OP_SUCCESS;
  }

 private:
  CdioHandle cdio_;
  int32_t end_;
};

// Reads the table libcdio reports; false when there is none (no disc).
bool ReadTable(CdIo_t* cdio, bool drive, TrackTable* table) {
  track_t first = cdio_get_first_track_num(cdio);
  track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return false;
  lsn_t sessionStart = CDIO_INVALID_LSN;
  if (drive && cdio_get_last_session(cdio, &sessionStart) != DRIVER_OP_SUCCESS)
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

bool IsDrive(CdIo_t* cdio) {
  driver_id_t id = cdio_get_driver_id(cdio);
  return id != DRIVER_BINCUE && id != DRIVER_NRG && id != DRIVER_CDRDAO;
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

// Drives and Nero images, through libcdio.
DiscState LoadCdioDisc(const std::string& source, Disc* disc, std::string* why) {
  QuietCdio();
  // libcdio takes any file that ends in a Nero footer for a .nrg, whatever
  // its name, and trusts the chunks the footer points at.
  // So a file goes to libcdio only as a Nero image whose every chunk has
  // been checked, and to its Nero driver alone. A FIFO, socket or folder
  // is no drive: opening one could wait for ever.
  NrgTrailer nrg;
  driver_id_t driver = DRIVER_UNKNOWN;
  struct stat info;
  if (stat(source.c_str(), &info) == 0 && !S_ISBLK(info.st_mode) && !S_ISCHR(info.st_mode)) {
    if (!S_ISREG(info.st_mode)) {
      *why = source + ": not a CD drive or disc image";
      return DiscState::Unreadable;
    }
    std::string problem;
    if (CheckNrgTrailer(source, &nrg, &problem) && !nrg.present) problem = "it has no Nero footer";
    if (!problem.empty()) {
      *why = source + ": not a disc image that can be read: " + problem;
      return DiscState::Unreadable;
    }
    driver = DRIVER_NRG;
  }
  CdioHandle cdio(cdio_open(source.c_str(), driver));
  if (!cdio) {
    *why = source + ": not a CD drive or disc image that can be read";
    return DiscState::Unreadable;
  }
  bool drive = IsDrive(cdio.get());
  TrackTable table;
  if (!ReadTable(cdio.get(), drive, &table)) {
    *why = source + ": no disc";
    return drive ? DiscState::NoDisc : DiscState::Unreadable;
  }
  std::string problem;
  if (!CheckTrackTable(table, nrg.audioSectors, &problem)) {
    *why = source + ": " + problem;
    return DiscState::Unreadable;
  }
  if (!drive) {
    disc->table = table;
    DecodeCdText(nrg.cdText.data(), nrg.cdText.size(), table, &disc->text);
    disc->reader = std::make_unique<ImageReader>(std::move(cdio), table.leadout);
    return DiscState::Ready;
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
