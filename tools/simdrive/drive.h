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

union cdrom_addr;

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

// The SCSI and MMC operation codes the drive answers.
enum class Opcode : uint8_t {
  TestUnitReady = 0x00,
  RequestSense = 0x03,
  Inquiry = 0x12,
  ModeSelect6 = 0x15,
  ModeSense6 = 0x1A,
  StartStopUnit = 0x1B,
  PreventAllow = 0x1E,
  ReadCapacity = 0x25,
  Read10 = 0x28,
  ReadSubChannel = 0x42,
  ReadToc = 0x43,
  GetConfiguration = 0x46,
  PlayAudioMsf = 0x47,
  GetEventStatus = 0x4A,
  ReadDiscInformation = 0x51,
  ModeSelect10 = 0x55,
  ModeSense10 = 0x5A,
  SetStreaming = 0xB6,
  ReadCdMsf = 0xB9,
  SetCdSpeed = 0xBB,
  MechanismStatus = 0xBD,
  ReadCd = 0xBE,
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

  // The ioctls the node answers: one table, `IoctlCommands` in drive.cpp,
  // gives each its handler and the name the journal gives it. A handler
  // answers the ioctl's result or -errno.
  using IoctlHandler = int (Drive::*)(void* argument, bool writable);
  struct IoctlCommand {
    unsigned long request;
    const char* name;
    IoctlHandler handler;
    bool journaled;  // false: the packet it carries is journaled instead
  };
  static const IoctlCommand IoctlCommands[];
  static const IoctlCommand* FindIoctl(unsigned long request);

  // The drive's state, the disc's and the tray's (drive.cpp).
  int CapabilityLocked(void* argument, bool writable);
  int DriveStatusLocked(void* argument, bool writable);
  int DiscStatusLocked(void* argument, bool writable);
  int MediaChangedLocked(void* argument, bool writable);
  int SelectSpeedIoctlLocked(void* argument, bool writable);
  int LockDoorLocked(void* argument, bool writable);
  int EjectLocked(void* argument, bool writable);
  int CloseTrayLocked(void* argument, bool writable);
  int IdLunLocked(void* argument, bool writable);
  int BusNumberLocked(void* argument, bool writable);
  // The disc's table of contents, catalogue number and samples.
  int TocHeaderLocked(void* argument, bool writable);
  int TocEntryLocked(void* argument, bool writable);
  int MultiSessionLocked(void* argument, bool writable);
  int McnLocked(void* argument, bool writable);
  int ReadAudioIoctlLocked(void* argument, bool writable);
  // The rest of the sg family, which the block layer answers for any
  // SCSI disk.
  int SgVersionLocked(void* argument, bool writable);
  int SgEmulatedHostLocked(void* argument, bool writable);
  int SgSetTimeoutLocked(void* argument, bool writable);
  int SgGetTimeoutLocked(void* argument, bool writable);
  int SgReservedSizeLocked(void* argument, bool writable);
  int SgSetReservedSizeLocked(void* argument, bool writable);

  // The analog output: playing a range of the disc in real time, as a
  // drive does through its own converter, and the sub-channel's position
  // (analog.cpp).
  int PlayAudioLocked(void* argument, bool writable);
  int SubChannelLocked(void* argument, bool writable);
  int VolumeReadLocked(void* argument, bool writable);
  int VolumeControlLocked(void* argument, bool writable);
  int StartLocked(void* argument, bool writable);
  int StopLocked(void* argument, bool writable);
  int PauseLocked(void* argument, bool writable);
  int ResumeLocked(void* argument, bool writable);
  // Where the head is now, with the play's state as CDROMSUBCHNL gives it.
  int32_t HeadLocked(uint8_t* status);

  // The MMC packet layer (mmc.cpp): CDROM_SEND_PACKET, and SG_IO as the
  // block layer answers it for a CD drive, where CHECK CONDITION is a
  // status in the header, not an error of the call.
  int PacketLocked(void* argument, bool writable);
  int SgIoLocked(void* argument, bool writable);

  // One packet's data: the caller's buffer, what the command put in it,
  // and what the caller's descriptor allows.
  struct Transfer {
    uint8_t* buffer = nullptr;  // none when the command moves no data
    size_t size = 0;
    bool writable = false;  // the node was opened for writing
    size_t filled = 0;      // bytes of `buffer` the command wrote
    bool denied = false;    // the kernel refused it on this node (EPERM)
    std::string reply;      // what the command answers, copied to `buffer`
  };
  // The commands the drive knows: one table, `PacketCommands` in mmc.cpp,
  // gives each its handler and the name the journal gives it. A command
  // not in it gets ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
  using PacketHandler = Sense (Drive::*)(const uint8_t* cdb, Transfer* transfer);
  struct PacketCommand {
    Opcode opcode;
    const char* name;
    PacketHandler handler;
    bool writeOnly;  // the kernel passes it only on a node opened for writing
  };
  static const PacketCommand PacketCommands[];
  static const PacketCommand* FindPacket(uint8_t opcode);

  // Runs a packet that came in through `via` ("packet", "sg_io") and
  // journals it; false when the descriptor may not send it.
  bool JournaledPacketLocked(const char* via, const uint8_t* cdb, Transfer* transfer, Sense* sense);
  Sense RunPacketLocked(const PacketCommand& command, const uint8_t* cdb, Transfer* transfer);

  Sense TestUnitReadyLocked(const uint8_t* cdb, Transfer* transfer);
  Sense RequestSenseLocked(const uint8_t* cdb, Transfer* transfer);
  Sense InquiryLocked(const uint8_t* cdb, Transfer* transfer);
  Sense StartStopLocked(const uint8_t* cdb, Transfer* transfer);
  Sense PreventAllowLocked(const uint8_t* cdb, Transfer* transfer);
  Sense ReadCapacityLocked(const uint8_t* cdb, Transfer* transfer);
  Sense Read10Locked(const uint8_t* cdb, Transfer* transfer);
  Sense ReadCdMsfLocked(const uint8_t* cdb, Transfer* transfer);
  Sense ReadCdCommandLocked(const uint8_t* cdb, Transfer* transfer);
  Sense PlayAudioMsfLocked(const uint8_t* cdb, Transfer* transfer);
  Sense ReadSubChannelLocked(const uint8_t* cdb, Transfer* transfer);
  // READ SUB-CHANNEL's data formats: the current position (1), the
  // catalogue number (2) and a track's ISRC (3).
  void PositionReplyLocked(bool msf, std::string* reply);
  Sense CodeReplyLocked(int format, int track, std::string* reply);
  Sense ReadTocLocked(const uint8_t* cdb, Transfer* transfer);
  void FullTocLocked(std::string* reply);
  Sense ConfigurationLocked(const uint8_t* cdb, Transfer* transfer);
  Sense EventStatusLocked(const uint8_t* cdb, Transfer* transfer);
  Sense DiscInformationLocked(const uint8_t* cdb, Transfer* transfer);
  Sense SetStreamingLocked(const uint8_t* cdb, Transfer* transfer);
  Sense SetCdSpeedLocked(const uint8_t* cdb, Transfer* transfer);
  Sense MechanismStatusLocked(const uint8_t* cdb, Transfer* transfer);
  // MODE SENSE and MODE SELECT, of 6 bytes and of 10.
  Sense ModeSenseLocked(const uint8_t* cdb, Transfer* transfer);
  Sense ModeSelectLocked(const uint8_t* cdb, Transfer* transfer);
  // A mode page as the drive holds it now (control 0), which of its bytes
  // may change (1), or as the drive starts (2).
  std::string ModePageLocked(int page, int control) const;
  std::string CapabilitiesPageLocked(bool changeable) const;
  Sense ReadCdLocked(int32_t lsn, int32_t count, int expected, uint8_t fields, uint8_t subchannel,
                     uint8_t* buffer, size_t size, size_t* filled);
  // What READ CD gives of the raw sector `lsn` for `fields`, with its
  // C2 flags and sub-channel; `bytes` in all.
  std::string SectorOutLocked(int32_t lsn, const char* sector, uint8_t fields, uint8_t subchannel,
                              size_t bytes) const;

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
