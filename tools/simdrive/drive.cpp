// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/simdrive/drive.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace simdrive {

namespace {

constexpr int ScsiCdromMajor = 11;
constexpr gid_t CdromGroup = 24;  // Debian's "cdrom"

// Whether an ioctl's line in the journal is its own, or the packet's it
// carries.
constexpr bool Journaled = true;
constexpr bool CarriesPacket = false;

std::string Errno(int error) { return error == 0 ? "ok" : strerrorname_np(error); }

}  // namespace

bool PutAddress(cdrom_addr* address, uint8_t format, int32_t sectors, bool absolute) {
  if (format == CDROM_LBA) {
    address->lba = sectors;
    return true;
  }
  if (format != CDROM_MSF) return false;
  int32_t position = std::max(sectors + (absolute ? 150 : 0), 0);
  address->msf.minute = static_cast<uint8_t>(position / 4500);
  address->msf.second = static_cast<uint8_t>(position / 75 % 60);
  address->msf.frame = static_cast<uint8_t>(position % 75);
  return true;
}

Drive::Drive(const DriveSetup& setup)
    : setup_(setup), journal_(setup.journal), start_(Clock::now()) {
  std::string error;
  if (!ApplyFaults(setup_.faults, &faults_, &error))
    fprintf(stderr, "simdrive %s: %s\n", setup_.path.c_str(), error.c_str());
  speed_ = faults_.maxSpeed;
  if (!setup_.image.empty()) {
    loaded_ = ReadSheet(setup_.image, &sheet_, &error);
    if (loaded_) binFd_ = open(sheet_.binPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (!loaded_ || binFd_ < 0) {
      fprintf(stderr, "simdrive %s: %s\n", setup_.path.c_str(), error.c_str());
      loaded_ = false;
    }
  }
  journal_.Note("start " + setup_.path + (loaded_ ? " holding " + setup_.image : " empty"));
}

void Drive::PollControlLocked() {
  if (setup_.control.empty()) return;
  struct stat info;
  if (stat(setup_.control.c_str(), &info) != 0) return;
  if (info.st_ino == controlInode_ && info.st_size == controlSize_ &&
      info.st_mtim.tv_sec == controlTime_.tv_sec && info.st_mtim.tv_nsec == controlTime_.tv_nsec)
    return;
  controlInode_ = info.st_ino;
  controlSize_ = info.st_size;
  controlTime_ = info.st_mtim;
  std::ifstream in(setup_.control);
  std::stringstream text;
  text << in.rdbuf();
  bool wasIn = faults_.discIn && !faults_.trayOpen;
  std::string error;
  if (!ApplyFaults(text.str(), &faults_, &error)) journal_.Note("control " + error);
  if (wasIn != (faults_.discIn && !faults_.trayOpen)) {
    mediaChanged_ = true;
    spinning_ = false;
  }
  journal_.Note("control applied");
}

bool Drive::PresentLocked() {
  PollControlLocked();
  if (faults_.insertAfterMs >= 0 &&
      Clock::now() - start_ >= std::chrono::milliseconds(faults_.insertAfterMs)) {
    faults_.insertAfterMs = -1;
    faults_.discIn = true;
    mediaChanged_ = true;
    journal_.Note("disc inserted");
  }
  return loaded_ && faults_.discIn && !faults_.trayOpen;
}

Sense Drive::NotPresentLocked() {
  // MEDIUM NOT PRESENT: tray closed, or tray open.
  return Sense{0x02, 0x3A, static_cast<uint8_t>(faults_.trayOpen ? 0x02 : 0x01)};
}

void Drive::RemoveDiscLocked(const char* why) {
  faults_.discIn = false;
  mediaChanged_ = true;
  spinning_ = false;
  journal_.Note(std::string("disc removed ") + why);
}

int Drive::Open(int flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  PollControlLocked();
  int error = 0;
  // A blocking open closes an open tray first (the kernel's autoclose),
  // then finds whether a disc is there.
  if (faults_.permitted && !(flags & O_NONBLOCK) && faults_.trayOpen && faults_.autoClose) {
    journal_.Note("tray closed by open");
    faults_.trayOpen = false;
    mediaChanged_ = true;
  }
  if (!faults_.permitted)
    error = EACCES;
  else if (!(flags & O_NONBLOCK) && !PresentLocked())
    error = ENOMEDIUM;  // only a non-blocking open reaches an empty drive
  journal_.Note(std::string("open") + ((flags & O_NONBLOCK) ? " nonblocking " : " ") +
                Errno(error));
  return error;
}

void Drive::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  journal_.Note("close");
}

NodeInfo Drive::Node() const {
  NodeInfo node{};
  node.mode = S_IFBLK | 0660;
  node.uid = 0;
  node.gid = CdromGroup;
  node.rdev = makedev(ScsiCdromMajor, static_cast<unsigned>(setup_.minor));
  node.dev = makedev(0, 5);
  node.ino = 1000 + static_cast<ino_t>(setup_.minor);
  node.nlink = 1;
  node.blksize = 2048;
  return node;
}

int Drive::Access(int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  PollControlLocked();
  if (mode == F_OK || faults_.permitted) return 0;
  return EACCES;
}

void Drive::SelectSpeedLocked(int speed, const char* how) {
  // Some drives take the command and go on at full speed.
  speed_ =
      speed <= 0 || faults_.speedIgnored ? faults_.maxSpeed : std::min(speed, faults_.maxSpeed);
  journal_.Note(std::string("speed ") + how + " " + std::to_string(speed_) + "x");
}

const Drive::IoctlCommand Drive::IoctlCommands[] = {
    {CDROM_GET_CAPABILITY, "CDROM_GET_CAPABILITY", &Drive::CapabilityLocked, Journaled},
    {CDROM_DRIVE_STATUS, "CDROM_DRIVE_STATUS", &Drive::DriveStatusLocked, Journaled},
    {CDROM_DISC_STATUS, "CDROM_DISC_STATUS", &Drive::DiscStatusLocked, Journaled},
    {CDROM_MEDIA_CHANGED, "CDROM_MEDIA_CHANGED", &Drive::MediaChangedLocked, Journaled},
    {CDROMREADTOCHDR, "CDROMREADTOCHDR", &Drive::TocHeaderLocked, Journaled},
    {CDROMREADTOCENTRY, "CDROMREADTOCENTRY", &Drive::TocEntryLocked, Journaled},
    {CDROMMULTISESSION, "CDROMMULTISESSION", &Drive::MultiSessionLocked, Journaled},
    {CDROMREADAUDIO, "CDROMREADAUDIO", &Drive::ReadAudioIoctlLocked, Journaled},
    {CDROM_SELECT_SPEED, "CDROM_SELECT_SPEED", &Drive::SelectSpeedIoctlLocked, Journaled},
    {CDROM_LOCKDOOR, "CDROM_LOCKDOOR", &Drive::LockDoorLocked, Journaled},
    {CDROMEJECT, "CDROMEJECT", &Drive::EjectLocked, Journaled},
    {CDROMCLOSETRAY, "CDROMCLOSETRAY", &Drive::CloseTrayLocked, Journaled},
    {CDROM_GET_MCN, "CDROM_GET_MCN", &Drive::McnLocked, Journaled},
    {CDROMVOLREAD, "CDROMVOLREAD", &Drive::VolumeReadLocked, Journaled},
    {CDROMVOLCTRL, "CDROMVOLCTRL", &Drive::VolumeControlLocked, Journaled},
    {CDROMSUBCHNL, "CDROMSUBCHNL", &Drive::SubChannelLocked, Journaled},
    {CDROMPLAYMSF, "CDROMPLAYMSF", &Drive::PlayAudioLocked, Journaled},
    {CDROMSTART, "CDROMSTART", &Drive::StartLocked, Journaled},
    {CDROMSTOP, "CDROMSTOP", &Drive::StopLocked, Journaled},
    {CDROMPAUSE, "CDROMPAUSE", &Drive::PauseLocked, Journaled},
    {CDROMRESUME, "CDROMRESUME", &Drive::ResumeLocked, Journaled},
    {SCSI_IOCTL_GET_IDLUN, "SCSI_IOCTL_GET_IDLUN", &Drive::IdLunLocked, Journaled},
    {SCSI_IOCTL_GET_BUS_NUMBER, "SCSI_IOCTL_GET_BUS_NUMBER", &Drive::BusNumberLocked, Journaled},
    {CDROM_SEND_PACKET, "CDROM_SEND_PACKET", &Drive::PacketLocked, CarriesPacket},
    {SG_IO, "SG_IO", &Drive::SgIoLocked, CarriesPacket},
    {SG_GET_VERSION_NUM, "SG_GET_VERSION_NUM", &Drive::SgVersionLocked, Journaled},
    {SG_EMULATED_HOST, "SG_EMULATED_HOST", &Drive::SgEmulatedHostLocked, Journaled},
    {SG_SET_TIMEOUT, "SG_SET_TIMEOUT", &Drive::SgSetTimeoutLocked, Journaled},
    {SG_GET_TIMEOUT, "SG_GET_TIMEOUT", &Drive::SgGetTimeoutLocked, Journaled},
    {SG_GET_RESERVED_SIZE, "SG_GET_RESERVED_SIZE", &Drive::SgReservedSizeLocked, Journaled},
    {SG_SET_RESERVED_SIZE, "SG_SET_RESERVED_SIZE", &Drive::SgSetReservedSizeLocked, Journaled},
};

const Drive::IoctlCommand* Drive::FindIoctl(unsigned long request) {
  for (const IoctlCommand& command : IoctlCommands)
    if (command.request == request) return &command;
  return nullptr;
}

int Drive::Ioctl(unsigned long request, void* argument, bool writable) {
  std::lock_guard<std::mutex> lock(mutex_);
  PollControlLocked();
  const IoctlCommand* command = FindIoctl(request);
  const int result = command ? (this->*command->handler)(argument, writable) : -ENOTTY;
  if (command && !command->journaled) return result;
  char line[96];
  snprintf(line, sizeof line, "ioctl %s 0x%lx %s", command ? command->name : "unknown", request,
           result < 0 ? Errno(-result).c_str() : ("-> " + std::to_string(result)).c_str());
  journal_.Note(line);
  return result;
}

int Drive::CapabilityLocked(void*, bool) {
  return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION |
         CDC_MCN | CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_RESET | CDC_DRIVE_STATUS |
         CDC_GENERIC_PACKET | CDC_CD_R | CDC_CD_RW;
}

int Drive::DriveStatusLocked(void*, bool) {
  if (PresentLocked()) return CDS_DISC_OK;
  return faults_.trayOpen ? CDS_TRAY_OPEN : CDS_NO_DISC;
}

int Drive::DiscStatusLocked(void*, bool) {
  if (!PresentLocked()) return faults_.trayOpen ? CDS_TRAY_OPEN : CDS_NO_DISC;
  const bool audio = std::all_of(sheet_.tracks.begin(), sheet_.tracks.end(),
                                 [](const SheetTrack& t) { return t.audio; });
  return audio ? CDS_AUDIO : CDS_MIXED;
}

int Drive::MediaChangedLocked(void*, bool) {
  PresentLocked();
  const bool changed = mediaChanged_;
  mediaChanged_ = false;
  return changed ? 1 : 0;
}

int Drive::SelectSpeedIoctlLocked(void* argument, bool) {
  // The speed is the argument itself, not what it points to.
  SelectSpeedLocked(static_cast<int>(reinterpret_cast<intptr_t>(argument)), "ioctl");
  return 0;
}

int Drive::LockDoorLocked(void*, bool) { return 0; }

int Drive::EjectLocked(void*, bool) {
  faults_.trayOpen = true;
  mediaChanged_ = true;
  spinning_ = false;
  return 0;
}

int Drive::CloseTrayLocked(void*, bool) {
  if (faults_.trayOpen) mediaChanged_ = true;
  faults_.trayOpen = false;
  return 0;
}

int Drive::IdLunLocked(void* argument, bool) {
  static_cast<int*>(argument)[0] = setup_.minor;  // target, lun 0, channel 0, host 0
  static_cast<int*>(argument)[1] = 0;
  return 0;
}

int Drive::BusNumberLocked(void* argument, bool) {
  *static_cast<int*>(argument) = 0;
  return 0;
}

int Drive::TocHeaderLocked(void* argument, bool) {
  if (!PresentLocked()) return -ENOMEDIUM;
  auto* header = static_cast<cdrom_tochdr*>(argument);
  header->cdth_trk0 = static_cast<uint8_t>(sheet_.tracks.front().number);
  header->cdth_trk1 = static_cast<uint8_t>(sheet_.tracks.back().number);
  return 0;
}

int Drive::TocEntryLocked(void* argument, bool) {
  if (!PresentLocked()) return -ENOMEDIUM;
  auto* entry = static_cast<cdrom_tocentry*>(argument);
  int32_t lsn;
  bool data = false;
  uint8_t control = 0;
  if (entry->cdte_track == CDROM_LEADOUT) {
    lsn = sheet_.leadout;
    data = !sheet_.tracks.back().audio;
    control = data ? CDROM_DATA_TRACK : 0;
  } else {
    auto track = std::find_if(sheet_.tracks.begin(), sheet_.tracks.end(),
                              [&](const SheetTrack& t) { return t.number == entry->cdte_track; });
    if (track == sheet_.tracks.end()) return -EINVAL;
    lsn = track->start;
    data = !track->audio;
    control = track->Control();
  }
  entry->cdte_adr = 1;
  entry->cdte_ctrl = control;
  entry->cdte_datamode = data ? 1 : 0;
  return PutAddress(&entry->cdte_addr, entry->cdte_format, lsn) ? 0 : -EINVAL;
}

int Drive::MultiSessionLocked(void* argument, bool) {
  if (!PresentLocked()) return -ENOMEDIUM;
  auto* session = static_cast<cdrom_multisession*>(argument);
  bool multi = sheet_.Sessions() > 1;
  session->xa_flag = multi ? 1 : 0;
  int32_t lsn = multi ? sheet_.LastSessionFirst().start : 0;
  return PutAddress(&session->addr, session->addr_format, lsn) ? 0 : -EINVAL;
}

int Drive::ReadAudioIoctlLocked(void* argument, bool) {
  auto* request = static_cast<cdrom_read_audio*>(argument);
  int32_t lsn;
  if (request->addr_format == CDROM_LBA)
    lsn = request->addr.lba;
  else if (request->addr_format == CDROM_MSF)
    lsn = (request->addr.msf.minute * 60 + request->addr.msf.second) * 75 +
          request->addr.msf.frame - 150;
  else
    return -EINVAL;
  if (request->nframes < 1 || request->nframes > 75) return -EINVAL;
  size_t filled = 0;
  Sense sense = ReadCdLocked(lsn, request->nframes, 1, 0x10, 0, request->buf,
                             static_cast<size_t>(request->nframes) * SectorBytes, &filled);
  if (!sense.Failed()) return 0;
  return sense.key == 0x02 ? -ENOMEDIUM : -EIO;
}

int Drive::McnLocked(void* argument, bool) {
  if (!PresentLocked()) return -ENOMEDIUM;
  snprintf(reinterpret_cast<char*>(static_cast<cdrom_mcn*>(argument)->medium_catalog_number),
           sizeof(cdrom_mcn), "%s", sheet_.catalog.c_str());
  return 0;
}

int Drive::SgVersionLocked(void* argument, bool) {
  *static_cast<int*>(argument) = 30527;
  return 0;
}

int Drive::SgEmulatedHostLocked(void* argument, bool) {
  *static_cast<int*>(argument) = 0;
  return 0;
}

int Drive::SgSetTimeoutLocked(void* argument, bool) {
  if (*static_cast<int*>(argument) < 0) return -EIO;
  sgTimeout_ = *static_cast<int*>(argument);
  return 0;
}

int Drive::SgGetTimeoutLocked(void*, bool) { return sgTimeout_; }

int Drive::SgReservedSizeLocked(void* argument, bool) {
  *static_cast<int*>(argument) = 128 * 1024;  // the queue's largest transfer
  return 0;
}

int Drive::SgSetReservedSizeLocked(void* argument, bool) {
  return *static_cast<int*>(argument) < 0 ? -EINVAL : 0;
}

}  // namespace simdrive
