// SPDX-License-Identifier: GPL-3.0-or-later
// mciSendCommandA for the "cdaudio" device: the requests, their records
// and their error codes as the platform's own device gives them.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/cdaudio/notify_slot.h"
#include "platform/linux/cdaudio/playback.h"
#include "platform/linux/cdaudio/watch.h"
#include "platform/linux/common/warn.h"
#include "platform/linux/disc/disc.h"
#include "platform/platform.h"

namespace cdaudio {

namespace {

struct Device {
  // The playback's worker reads the disc and posts through the slot until
  // it is joined: it goes first, whatever the order of the members.
  ~Device() { playback.reset(); }

  std::string source;
  bool shareable = false;
  int users = 1;
  DWORD timeFormat = MCI_FORMAT_MSF;
  disc::Disc disc;
  bool loaded = false;
  NotifySlot slot;
  std::unique_ptr<Playback> playback;
};

std::mutex requests;  // one request at a time, whichever thread sends it
std::map<MCIDEVICEID, std::shared_ptr<Device>> devices;
Watcher* watcher = nullptr;  // under `requests`

// Reads the table on first need. An image is read once; a drive is asked
// again while it has no disc, so a disc put in later is found.
MCIERROR LoadTable(Device& device) {
  if (device.loaded) return 0;
  std::string why;
  disc::DiscState state = disc::LoadDisc(device.source, &device.disc, &why);
  if (state == disc::DiscState::Ready) {
    device.loaded = true;
    // Made now, so the sound server is asked for before the first play.
    device.playback = std::make_unique<Playback>(device.disc.reader.get(), &device.slot);
    if (watcher) watcher->DiscLoaded(device.disc);
    return 0;
  }
  static common::OnceWarning unready;
  unready.Warn(why, "%s", why.c_str());
  return state == disc::DiscState::NoDisc ? MCIERR_DEVICE_NOT_READY : MCIERR_HARDWARE;
}

// Minutes in byte 0, seconds in 1, frames in 2, as a sector count.
int32_t UnpackMsf(DWORD packed) {
  return static_cast<int32_t>(packed & 0xFF) * 60 * disc::SectorsPerSecond +
         static_cast<int32_t>(packed >> 8 & 0xFF) * disc::SectorsPerSecond +
         static_cast<int32_t>(packed >> 16 & 0xFF);
}

// A position in the device's time format as a sector number.
MCIERROR ToSector(const Device& device, DWORD value, int32_t* lsn) {
  const disc::TrackTable& table = device.disc.table;
  switch (device.timeFormat) {
    case MCI_FORMAT_MILLISECONDS:
      *lsn = static_cast<int32_t>(static_cast<uint64_t>(value) * disc::SectorsPerSecond / 1000) -
             disc::MsfOffset;
      return 0;
    case MCI_FORMAT_MSF:
      *lsn = UnpackMsf(value) - disc::MsfOffset;
      return 0;
    default: {  // TMSF: track in byte 0, then minutes, seconds, frames
      int track = static_cast<int>(value & 0xFF);
      if (!table.Has(track)) return MCIERR_OUTOFRANGE;
      *lsn = table.Numbered(track).start + UnpackMsf(value >> 8);
      return 0;
    }
  }
}

// A length as the device reports it: MSF in both MSF and TMSF formats.
DWORD_PTR FromLength(const Device& device, int32_t sectors) {
  if (device.timeFormat == MCI_FORMAT_MILLISECONDS)
    return static_cast<DWORD_PTR>(static_cast<int64_t>(sectors) * 1000 / disc::SectorsPerSecond);
  return disc::PackMsf(sectors);
}

// A position on the disc in the device's time format; in TMSF, within
// the track that holds it, the lead-out counting as the last track's end.
DWORD_PTR FromPosition(const Device& device, int32_t lsn) {
  const disc::TrackTable& table = device.disc.table;
  lsn = std::clamp(lsn, table.tracks.front().start, table.leadout);
  switch (device.timeFormat) {
    case MCI_FORMAT_MILLISECONDS:
      return static_cast<DWORD_PTR>(static_cast<int64_t>(lsn + disc::MsfOffset) * 1000 /
                                    disc::SectorsPerSecond);
    case MCI_FORMAT_MSF:
      return disc::PackMsf(lsn + disc::MsfOffset);
    default: {
      int track = lsn < table.leadout ? disc::TrackAt(table, lsn) : table.Last();
      int32_t offset = std::max(lsn - table.Numbered(track).start, 0);
      return static_cast<DWORD_PTR>(track) | static_cast<DWORD_PTR>(disc::PackMsf(offset)) << 8;
    }
  }
}

void NotifyDone(Device& device, MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR callback) {
  if (!(flags & MCI_NOTIFY)) return;
  device.slot.Arm(reinterpret_cast<HWND>(callback), id, 0, MCI_NOTIFY_SUPERSEDED);
  device.slot.Complete(0, MCI_NOTIFY_SUCCESSFUL);
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms) {
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & MCI_OPEN_TYPE_ID) {
    if (!(flags & MCI_OPEN_TYPE) ||
        LOWORD(reinterpret_cast<DWORD_PTR>(parms->lpstrDeviceType)) != MCI_DEVTYPE_CD_AUDIO)
      return MCIERR_INVALID_DEVICE_NAME;
  } else if (flags & MCI_OPEN_TYPE) {
    if (!parms->lpstrDeviceType || strcasecmp(parms->lpstrDeviceType, "cdaudio") != 0)
      return MCIERR_INVALID_DEVICE_NAME;
  } else {
    return MCIERR_MISSING_PARAMETER;
  }
  if (flags & MCI_OPEN_ELEMENT_ID) return MCIERR_FLAGS_NOT_COMPATIBLE;

  // The element, when given, names the drive or image; else the default.
  std::string source;
  if (flags & MCI_OPEN_ELEMENT) {
    if (!parms->lpstrElementName) return MCIERR_NULL_PARAMETER_BLOCK;
    source = parms->lpstrElementName;
  } else {
    source = disc::DefaultSource();
  }
  // A drive the user may not read, or a name with nothing there, is no
  // drive to open: say which and why on stderr, beside the window's
  // warning.
  std::string refusal;
  bool usable =
      source.empty() ? disc::DefaultDrivesUsable(&refusal) : disc::DriveUsable(source, &refusal);
  struct stat status;
  if (usable && !source.empty() && stat(source.c_str(), &status) != 0) {
    usable = false;
    refusal = source + ": " + std::strerror(errno);
  }
  if (!usable) common::Warn("%s", refusal.c_str());
  if (source.empty() || !usable) return MCIERR_CANNOT_LOAD_DRIVER;

  bool shareable = (flags & MCI_OPEN_SHAREABLE) != 0;
  std::shared_ptr<Device> device;
  for (auto& [id, open] : devices)
    if (open->source == source) {
      if (!shareable || !open->shareable) return MCIERR_MUST_USE_SHAREABLE;
      device = open;
      device->users++;
    }
  MCIDEVICEID id = 1;
  while (devices.count(id)) id++;
  if (!device) {
    device = std::make_shared<Device>();
    device->source = source;
    device->shareable = shareable;
  }
  devices[id] = device;
  parms->wDeviceID = id;
  NotifyDone(*device, id, flags, parms->dwCallback);
  return 0;
}

MCIERROR Close(MCIDEVICEID id, DWORD_PTR flags, MCI_GENERIC_PARMS* parms) {
  std::shared_ptr<Device> device = devices[id];
  devices.erase(id);
  if (--device->users == 0) {
    device->playback.reset();  // stops and joins the worker
    if (watcher) watcher->Stopped();
  }
  if ((flags & MCI_NOTIFY) && parms)
    NotifySlot::Post(reinterpret_cast<HWND>(parms->dwCallback), id, MCI_NOTIFY_SUCCESSFUL);
  return 0;
}

MCIERROR Status(Device& device, MCIDEVICEID id, DWORD_PTR flags, MCI_STATUS_PARMS* parms) {
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  const disc::TrackTable& table = device.disc.table;
  MCIERROR error = 0;
  switch (parms->dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
      if ((error = LoadTable(device))) return error;
      parms->dwReturn = table.tracks.size();
      break;
    case MCI_STATUS_LENGTH:
      if ((error = LoadTable(device))) return error;
      if (flags & MCI_TRACK) {
        if (!table.Has(static_cast<int>(parms->dwTrack))) return MCIERR_OUTOFRANGE;
        parms->dwReturn =
            FromLength(device, disc::TrackLength(table, static_cast<int>(parms->dwTrack)));
      } else {
        // From the first track to the lead-out, less the frame that the
        // last track's length lacks too (TrackLength): the platform's
        // driver answers the disc's length as its tracks' lengths summed.
        parms->dwReturn = FromLength(device, table.leadout - table.tracks.front().start - 1);
      }
      break;
    case MCI_CDA_STATUS_TYPE_TRACK:
      if (!(flags & MCI_TRACK)) return MCIERR_MISSING_PARAMETER;
      if ((error = LoadTable(device))) return error;
      if (!table.Has(static_cast<int>(parms->dwTrack))) return MCIERR_OUTOFRANGE;
      parms->dwReturn = table.Numbered(static_cast<int>(parms->dwTrack)).audio
                            ? MCI_CDA_TRACK_AUDIO
                            : MCI_CDA_TRACK_OTHER;
      break;
    case MCI_STATUS_MODE:
      if (device.playback && device.playback->Playing())
        parms->dwReturn = MCI_MODE_PLAY;
      else
        parms->dwReturn = LoadTable(device) ? MCI_MODE_NOT_READY : MCI_MODE_STOP;
      break;
    case MCI_STATUS_POSITION:
      if ((error = LoadTable(device))) return error;
      if (flags & MCI_TRACK) {
        if (!table.Has(static_cast<int>(parms->dwTrack))) return MCIERR_OUTOFRANGE;
        parms->dwReturn =
            FromPosition(device, table.Numbered(static_cast<int>(parms->dwTrack)).start);
      } else {
        parms->dwReturn = FromPosition(
            device, device.playback ? device.playback->Position() : table.tracks.front().start);
      }
      break;
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY:
      parms->dwReturn = LoadTable(device) == 0;
      break;
    case MCI_STATUS_TIME_FORMAT:
      parms->dwReturn = device.timeFormat;
      break;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
  NotifyDone(device, id, flags, parms->dwCallback);
  return 0;
}

MCIERROR Set(Device& device, MCIDEVICEID id, DWORD_PTR flags, MCI_SET_PARMS* parms) {
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY | MCI_WAIT | MCI_SET_TIME_FORMAT))
    return MCIERR_UNSUPPORTED_FUNCTION;
  if (flags & MCI_SET_TIME_FORMAT) {
    DWORD format = parms->dwTimeFormat;
    if (format != MCI_FORMAT_MILLISECONDS && format != MCI_FORMAT_MSF && format != MCI_FORMAT_TMSF)
      return MCIERR_BAD_TIME_FORMAT;
    device.timeFormat = format;
  }
  NotifyDone(device, id, flags, parms->dwCallback);
  return 0;
}

MCIERROR Play(Device& device, MCIDEVICEID id, DWORD_PTR flags, MCI_PLAY_PARMS* parms) {
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_FROM))
    return MCIERR_MISSING_PARAMETER;  // there is no current position to go on from
  MCIERROR error = LoadTable(device);
  if (error) return error;
  const disc::TrackTable& table = device.disc.table;
  int32_t start, end;
  if ((error = ToSector(device, parms->dwFrom, &start))) return error;
  int first = disc::TrackAt(table, start);
  if (!first) return MCIERR_OUTOFRANGE;
  if (!table.Numbered(first).audio)
    return MCIERR_HARDWARE;  // a data track is never played as noise
  int32_t audioEnd = disc::AudioEnd(table, first);
  if (start >= audioEnd) return MCIERR_OUTOFRANGE;
  end = audioEnd;
  if (flags & MCI_TO) {
    if ((error = ToSector(device, parms->dwTo, &end))) return error;
    if (end < start || end > table.leadout) return MCIERR_OUTOFRANGE;
    end = std::min(end, audioEnd);
  }
  // What follows the range is read ahead, as far as it is audio.
  int next = disc::TrackAt(table, end);
  int32_t readable = next && table.Numbered(next).audio ? disc::AudioEnd(table, next) : end;
  return device.playback->Play(start, end, readable, (flags & MCI_NOTIFY) != 0,
                               reinterpret_cast<HWND>(parms->dwCallback), id);
}

MCIERROR PlayWatched(Device& device, MCIDEVICEID id, DWORD_PTR flags, MCI_PLAY_PARMS* parms) {
  MCIERROR error = Play(device, id, flags, parms);
  if (watcher) watcher->Played(error == 0);
  return error;
}

MCIERROR Stop(Device& device, MCIDEVICEID id, DWORD_PTR flags, MCI_GENERIC_PARMS* parms) {
  if ((flags & MCI_NOTIFY) && !parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (device.playback) device.playback->Stop();
  if (watcher) watcher->Stopped();
  if (flags & MCI_NOTIFY) NotifyDone(device, id, flags, parms->dwCallback);
  return 0;
}

}  // namespace

void Watch(Watcher* watching) {
  std::lock_guard<std::mutex> lock(requests);
  watcher = watching;
}

}  // namespace cdaudio

using namespace cdaudio;

extern "C" MCIERROR WINAPI mciSendCommandA(MCIDEVICEID id, UINT command, DWORD_PTR flags,
                                           DWORD_PTR parms) {
  std::lock_guard<std::mutex> lock(requests);
  if (command == MCI_OPEN) return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(parms));
  auto found = devices.find(id);
  if (found == devices.end()) return MCIERR_INVALID_DEVICE_ID;
  std::shared_ptr<Device> device = found->second;
  switch (command) {
    case MCI_CLOSE:
      return Close(id, flags, reinterpret_cast<MCI_GENERIC_PARMS*>(parms));
    case MCI_STATUS:
      return Status(*device, id, flags, reinterpret_cast<MCI_STATUS_PARMS*>(parms));
    case MCI_SET:
      return Set(*device, id, flags, reinterpret_cast<MCI_SET_PARMS*>(parms));
    case MCI_PLAY:
      return PlayWatched(*device, id, flags, reinterpret_cast<MCI_PLAY_PARMS*>(parms));
    case MCI_STOP:
      return Stop(*device, id, flags, reinterpret_cast<MCI_GENERIC_PARMS*>(parms));
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}
