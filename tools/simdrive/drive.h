// SPDX-License-Identifier: GPL-3.0-or-later
// One simulated CD drive: the answers a drive and the kernel's CD-ROM
// layer give to the ioctls and MMC packets sent to its device node, for
// the disc in it and the faults it is set up with.
#ifndef KORVANE_TOOLS_SIMDRIVE_DRIVE_H
#define KORVANE_TOOLS_SIMDRIVE_DRIVE_H

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tools/simdrive/faults.h"
#include "tools/simdrive/journal.h"
#include "tools/simdrive/sheet.h"

struct cdrom_generic_command;
union cdrom_addr;
struct sg_io_hdr;

namespace simdrive {

struct DriveSetup {
  std::string path;     // the device node it answers for
  std::string image;    // the cue sheet of the disc; empty: none
  std::string faults;   // settings applied at start
  std::string control;  // a file whose settings are applied whenever it changes
  std::string journal;  // where requests are recorded
  int minor = 0;        // of the node, for stat
  // Other names of the node, symbolic links to it as udev makes them
  // (/dev/cdrom for the drive it picks); realpath resolves them to `path`.
  std::vector<std::string> links;
};

// Puts `sectors` in an ioctl's address in `format`: an absolute address
// counts MSF from 00:02:00 before the first track, a relative one from the
// track's start. False for a format the kernel does not know.
bool PutAddress(cdrom_addr* address, uint8_t format, int32_t sectors, bool absolute = true);

// What stat tells of a drive's device node.
struct NodeInfo {
  mode_t mode;
  uid_t uid;
  gid_t gid;
  dev_t rdev;
  dev_t dev;
  ino_t ino;
  nlink_t nlink;
  blksize_t blksize;
};

// Sense data: what a drive reports with CHECK CONDITION.
struct Sense {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  int32_t information = -1;  // the failing sector's address, where there is one
  bool Failed() const { return key != 0; }
};

// What MODE SELECT may change, as the drive starts.
struct ModeSettings {
  uint8_t readRetries = 16;                    // page 1
  std::array<uint8_t, 2> ports = {1, 2};       // page 0E: the channel each output plays
  std::array<uint8_t, 2> volume = {255, 255};  // and its volume
};

class Drive {
 public:
  explicit Drive(const DriveSetup& setup);
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  const std::string& Path() const { return setup_.path; }

  // 0 when the node may be opened with `flags`, else the errno the
  // kernel gives.
  int Open(int flags);
  void Close();
  NodeInfo Node() const;
  // 0 when the caller may access the node in `mode`, else the errno.
  int Access(int mode);
  // The ioctl's result, or -errno; `writable`: the fd was opened for writing.
  int Ioctl(unsigned long request, void* argument, bool writable);

 private:
  using Clock = std::chrono::steady_clock;

  // Applies the control file's settings when it has changed.
  void PollControlLocked();
  // The disc can be read: in the drive, tray closed, image loaded.
  bool PresentLocked();
  Sense NotPresentLocked();
  void RemoveDiscLocked(const char* why);
  int DriveStatusLocked();

  int TocHeaderLocked(void* argument);
  int TocEntryLocked(void* argument);
  int MultiSessionLocked(void* argument);
  int ReadAudioIoctlLocked(void* argument);

  // The analog output: playing a range of the disc in real time, as a
  // drive does through its own converter, and the sub-channel's position.
  int PlayAudioLocked(void* argument);
  int SubChannelLocked(void* argument);
  // Where the head is now, with the play's state as CDROMSUBCHNL gives it.
  int32_t HeadLocked(uint8_t* status);

  // The MMC packet layer.
  int PacketLocked(cdrom_generic_command* command, bool writable);
  // Runs a packet that came in through `via` ("packet", "sg_io") and
  // journals it; false when the descriptor may not send it.
  bool JournaledPacketLocked(const char* via, const uint8_t* cdb, uint8_t* buffer, size_t size,
                             size_t* filled, bool writable, Sense* sense);
  // SG_IO, as the block layer answers it for a CD drive: CHECK CONDITION
  // is a status in the header, not an error of the call.
  int SgIoLocked(sg_io_hdr* header, bool writable);
  Sense RunPacketLocked(const uint8_t* cdb, uint8_t* buffer, size_t size, size_t* filled,
                        bool* denied, bool writable);
  Sense ReadTocPacketLocked(const uint8_t* cdb, std::string* reply);
  Sense ModeSenseLocked(const uint8_t* cdb, bool ten, std::string* reply);
  // A mode page as the drive holds it now (control 0), which of its bytes
  // may change (1), or as the drive starts (2).
  std::string ModePageLocked(int page, int control) const;
  Sense ModeSelectLocked(const uint8_t* cdb, bool ten, const uint8_t* data, size_t size);
  Sense ConfigurationLocked(const uint8_t* cdb, std::string* reply);
  Sense ReadCdLocked(int32_t lsn, int32_t count, int expected, uint8_t fields, uint8_t subchannel,
                     uint8_t* buffer, size_t size, size_t* filled);

  // Reads raw sectors from the image, with the drive's delays and errors,
  // once ReadCdLocked has found them on the disc in a session's tracks.
  Sense FetchLocked(int32_t lsn, int32_t count, std::string* raw);
  void SelectSpeedLocked(int speed, const char* how);

  DriveSetup setup_;
  std::mutex mutex_;
  Journal journal_;
  Faults faults_;
  Sheet sheet_;
  bool loaded_ = false;  // the image was read
  int binFd_ = -1;
  Clock::time_point start_;
  Clock::time_point lastRead_;
  bool spinning_ = false;
  bool mediaChanged_ = false;
  int speed_ = 0;  // current read speed, in multiples of 75 sectors/s
  ModeSettings mode_;
  int32_t head_ = 0;      // the sector after the last one read or played
  int sgTimeout_ = 6000;  // SG_SET_TIMEOUT, in jiffies
  // An analog play: of [playFrom_, playTo_), started (or resumed) at
  // playClock_; a completed one is reported once.
  enum class Analog { Idle, Playing, Paused, Completed };
  Analog analog_ = Analog::Idle;
  int32_t playFrom_ = 0;
  int32_t playTo_ = 0;
  Clock::time_point playClock_;
  Sense lastSense_;
  std::map<int32_t, int> failuresLeft_;  // per scratched sector
  size_t scratchesApplied_ = 0;
  // The control file as last applied.
  ino_t controlInode_ = 0;
  struct timespec controlTime_ = {0, 0};
  off_t controlSize_ = -1;
};

}  // namespace simdrive

#endif
