// SPDX-License-Identifier: GPL-3.0-or-later
// Drives: their sectors, read in batches through libcdio's driver, with a cap
// on the retries of a sector that fails: it is tried a few times, within
// a time budget, and then concealed, as are the samples the drive's C2
// error pointers flag; a disc taken out ends the read at once. Paranoia's
// interface to the drive vets it at start-up.
//
// Paranoia is not used for reading. Its interface retries a failed read
// nine times over, whatever the drive's sense data says. Its reading loop,
// in the verifying modes, asks the drive without end for a sector that
// never reads and first reads 1200 sectors ahead to defeat the drive's
// cache; in overlap mode without that, it kept rereading the disc's first
// sector (all measured on the simulated drive). An MMC drive delivers
// CD-DA accurately, so the jitter it would mend is not there.
#include <cdio/cdio.h>
#include <cdio/mmc.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/disc/conceal.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

using Clock = std::chrono::steady_clock;

// Reads of a failing sector before it is given up as silence.
constexpr int SectorAttempts = 3;
// The most one batch may spend on retries before the rest is silence.
constexpr auto RetryBudget = std::chrono::milliseconds(1500);
// Playback needs 1x. At 4x a drive turns at about a fifth of its full
// speed and is quiet, and still fills five seconds of audio in little more
// than a second, with room left for retries.
constexpr int PlaybackSpeed = 4;
// Five to ten seconds ahead of the output: the drive reads in bursts and
// rests in between.
constexpr int32_t ReadAheadSectors = 10 * SectorsPerSecond;
constexpr int32_t LowWaterSectors = 5 * SectorsPerSecond;

// What one sector's C2 error pointers take: a bit for each byte.
constexpr int C2Bytes = SectorBytes / 8;

// Paranoia's interface to a drive, closed without destroying libcdio's
// handle under it: the handle's owner does that, after.
struct ParanoiaCloser {
  void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
using ParanoiaHandle = std::unique_ptr<cdrom_drive_t, ParanoiaCloser>;

class DriveReader : public SectorReader {
 public:
  DriveReader(CdioHandle cdio, ParanoiaHandle drive, int32_t end, bool c2)
      : cdio_(std::move(cdio)), drive_(std::move(drive)), end_(end), c2_(c2) {
    cdio_set_speed(cdio_.get(), PlaybackSpeed);
  }

  bool Read(int32_t lsn, int32_t count, uint8_t* out) override {
    if (lsn < 0 || count < 0 || lsn + count > end_) return false;
    if (gone_) {
      // Whatever disc is in the drive now is read quietly too, and what
      // could not be read of the one taken out says nothing about it.
      gone_ = false;
      unreadable_.clear();
      cdio_set_speed(cdio_.get(), PlaybackSpeed);
    }
    deadline_ = Clock::now() + RetryBudget;
    flagged_.assign(static_cast<size_t>(count) * FramesPerSector, false);
    Guard(out, lsn, count);
    if (gone_) return false;
    Conceal(out, flagged_.size(), flagged_, lsn == next_, &edge_);
    next_ = lsn + count;
    return true;
  }

  int32_t PreferredBatch() const override { return 25; }
  int32_t ReadAhead() const override { return ReadAheadSectors; }
  int32_t LowWater() const override { return LowWaterSectors; }
  bool DiscGone() const override { return gone_; }

 private:
  uint8_t* Sector(uint8_t* out, int32_t i) { return out + static_cast<size_t>(i) * SectorBytes; }

  // Sector `i` of the batch is lost: silence, to be concealed.
  void Lose(uint8_t* out, int32_t i) {
    std::memset(Sector(out, i), 0, SectorBytes);
    std::fill_n(flagged_.begin() + static_cast<std::ptrdiff_t>(i * FramesPerSector),
                FramesPerSector, true);
  }

  // Runs of sectors between the ones known to be unreadable, each in one
  // read. Where a run fails, the drive's sense data says at which sector;
  // that one alone is tried again while the budget lasts and the run is
  // read again around it. A drive that does not say has each sector of
  // the run tried on its own.
  void Guard(uint8_t* out, int32_t begin, int32_t sectors) {
    int32_t i = 0;
    while (i < sectors) {
      if (unreadable_.count(begin + i)) {
        Lose(out, i++);
        continue;
      }
      int32_t j = i;
      while (j < sectors && !unreadable_.count(begin + j)) j++;
      int32_t failed = -1;
      if (ReadRun(out, begin, i, j - i, &failed)) {
        i = j;
        continue;
      }
      bool gone = MediumAbsent();
      if (!gone && failed >= begin + i && failed < begin + j) {
        gone = !RetrySector(out, begin, failed - begin, 0);
      } else {
        for (int32_t k = i; k < j && !gone; k++) gone = !RetrySector(out, begin, k, 1);
        i = j;
      }
      if (gone) {
        // The disc was taken out: the whole batch is silence.
        gone_ = true;
        std::memset(out, 0, static_cast<size_t>(sectors) * SectorBytes);
        return;
      }
    }
  }

  // Reads sector `i` of the batch alone, a few times while the budget
  // lasts and at least `least` times; a sector that fails is lost from
  // then on. False when the disc is gone.
  bool RetrySector(uint8_t* out, int32_t begin, int32_t i, int least) {
    const int attempts = Clock::now() < deadline_ ? SectorAttempts : least;
    int32_t failed;
    for (int attempt = 0; attempt < attempts; attempt++) {
      if (ReadRun(out, begin, i, 1, &failed)) return true;
      if (MediumAbsent()) return false;
    }
    unreadable_.insert(begin + i);
    Lose(out, i);
    return true;
  }

  // Reads `count` sectors from sector `i` of the batch, with their C2
  // error pointers where the drive gives them; false with `failed` the
  // sector the drive could not read, or -1 when it does not say.
  bool ReadRun(uint8_t* out, int32_t begin, int32_t i, int32_t count, int32_t* failed) {
    const int32_t lsn = begin + i;
    bool read;
    if (c2_) {
      raw_.resize(static_cast<size_t>(count) * (SectorBytes + C2Bytes));
      read = mmc_read_cd(cdio_.get(), raw_.data(), lsn, CDIO_MMC_READ_TYPE_CDDA, false, false, 0,
                         true, false, 1, 0, SectorBytes + C2Bytes,
                         static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS;
      for (int32_t s = 0; read && s < count; s++) {
        const uint8_t* sector = raw_.data() + static_cast<size_t>(s) * (SectorBytes + C2Bytes);
        std::memcpy(Sector(out, i + s), sector, SectorBytes);
        const uint8_t* c2 = sector + SectorBytes;
        for (int byte = 0; byte < SectorBytes; byte++)
          if (c2[byte / 8] & (0x80 >> (byte % 8)))
            flagged_[static_cast<size_t>(i + s) * FramesPerSector + byte / SampleBytes] = true;
      }
    } else {
      read = cdio_read_audio_sectors(cdio_.get(), Sector(out, i), lsn,
                                     static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS;
    }
    if (!read) *failed = FailingSector();
    return read;
  }

  // The sector the last command's sense data names, or -1.
  int32_t FailingSector() {
    cdio_mmc_request_sense_t* sense = nullptr;
    int32_t sector = -1;
    if (mmc_last_cmd_sense(cdio_.get(), &sense) > 0 && sense->valid && sense->sense_key == 3)
      sector = static_cast<int32_t>(static_cast<uint32_t>(sense->information[0]) << 24 |
                                    static_cast<uint32_t>(sense->information[1]) << 16 |
                                    static_cast<uint32_t>(sense->information[2]) << 8 |
                                    sense->information[3]);
    std::free(sense);
    return sector;
  }

  // The last command's sense data says MEDIUM NOT PRESENT.
  bool MediumAbsent() {
    cdio_mmc_request_sense_t* sense = nullptr;
    bool absent =
        mmc_last_cmd_sense(cdio_.get(), &sense) > 0 && sense->sense_key == 2 && sense->asc == 0x3A;
    std::free(sense);
    return absent;
  }

  CdioHandle cdio_;
  ParanoiaHandle drive_;  // declared after cdio_, so closed before it
  int32_t end_;
  bool c2_;  // the drive gives C2 error pointers
  bool gone_ = false;
  std::set<int32_t> unreadable_;
  Clock::time_point deadline_;
  std::vector<bool> flagged_;  // the batch's samples to conceal
  std::vector<uint8_t> raw_;   // sectors as read with their C2 pointers
  ConcealEdge edge_;
  int32_t next_ = -1;  // the sector after the last batch
};

}  // namespace

bool OpenDriveReader(CdioHandle cdio, int32_t end, std::unique_ptr<SectorReader>* reader,
                     std::string* why) {
  ParanoiaHandle drive(cdio_cddap_identify_cdio(cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr));
  // The GNU/Linux driver speaks MMC, and MMC drives deliver little-endian
  // samples: no need for paranoia to read the disc at start-up to find out.
  if (drive) drive->bigendianp = 0;
  if (!drive || cdio_cddap_open(drive.get()) != 0) {
    *why = "the drive cannot read audio digitally";
    return false;
  }
  cdio_cddap_verbose_set(drive.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
  // A drive that flags what its error correction could not mend lets the
  // player conceal it rather than play it as a click.
  cdio_drive_read_cap_t read = 0;
  cdio_drive_write_cap_t write = 0;
  cdio_drive_misc_cap_t misc = 0;
  cdio_get_drive_cap(cdio.get(), &read, &write, &misc);
  const bool c2 = (read & CDIO_DRIVE_CAP_READ_C2_ERRS) && !(read & CDIO_DRIVE_CAP_ERROR);
  *reader = std::make_unique<DriveReader>(std::move(cdio), std::move(drive), end, c2);
  return true;
}

namespace {

// READ TOC/PMA/ATIP format 5, the CD-Text, into `reply` as long as it is.
bool ReadTocCdText(CdIo_t* cdio, std::vector<uint8_t>* reply) {
  mmc_cdb_t cdb = {};
  cdb.field[0] = CDIO_MMC_GPCMD_READ_TOC;
  cdb.field[2] = CDIO_MMC_READTOC_FMT_CDTEXT;
  cdb.field[7] = static_cast<uint8_t>(reply->size() >> 8);
  cdb.field[8] = static_cast<uint8_t>(reply->size());
  return mmc_run_cmd(cdio, mmc_timeout_ms, &cdb, SCSI_MMC_DATA_READ,
                     static_cast<unsigned int>(reply->size()), reply->data()) == DRIVER_OP_SUCCESS;
}

}  // namespace

void ReadDriveText(CdIo_t* cdio, const TrackTable& table, DiscText* text) {
  // The length first, then all of it: at most 8 blocks of 256 packs.
  std::vector<uint8_t> reply(4);
  if (!ReadTocCdText(cdio, &reply)) return;
  auto said = [&reply] { return 2 + static_cast<size_t>((reply[0] << 8) | reply[1]); };
  const size_t total = std::min<size_t>(said(), 4 + 8 * 256 * CdTextPackBytes);
  if (total < 4 + CdTextPackBytes) return;
  reply.assign(total, 0);
  if (!ReadTocCdText(cdio, &reply)) return;
  // The drive may say less the second time.
  const size_t given = std::min(total, said());
  if (given < 4) return;
  DecodeCdText(reply.data() + 4, (given - 4) / CdTextPackBytes * CdTextPackBytes, table, text);
}

// A drive the user may not read: its node exists, but opening it fails.
// The one line that says so names the group that may read it.
bool DriveUsable(const std::string& path, std::string* why) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !(S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode)))
    return true;
  if (access(path.c_str(), R_OK) == 0) return true;
  struct group* owner = getgrgid(info.st_gid);
  std::string group = owner ? owner->gr_name : std::to_string(info.st_gid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%03o", info.st_mode & 0777);
  *why = path + ": no permission to read the CD drive (mode " + mode + ", group " + group +
         "); add yourself to the group with \"sudo adduser $USER " + group + "\" and log in again";
  return false;
}

bool DefaultDrivesUsable(std::string* why) {
  std::vector<std::string> nodes = {"/dev/cdrom", "/dev/dvd"};
  for (int i = 0; i < 28; i++) nodes.push_back("/dev/sr" + std::to_string(i));
  for (const std::string& node : nodes)
    if (!DriveUsable(node, why)) return false;
  return true;
}

}  // namespace disc
