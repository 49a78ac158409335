// SPDX-License-Identifier: GPL-3.0-or-later
// The drive's analog output: CDROMPLAYMSF plays a range through the
// drive's own converter, the head moving at one sector per 1/75 s,
// CDROMSUBCHNL reports where it is, and the rest of the audio ioctls
// pause, resume and stop it and set its volume. Programs that cannot play
// the disc's samples themselves fall back to it.
#include <linux/cdrom.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/simdrive/drive.h"

namespace simdrive {

namespace {

int32_t SectorOf(uint8_t minute, uint8_t second, uint8_t frame) {
  return (minute * 60 + second) * 75 + frame - 150;
}

}  // namespace

int32_t Drive::HeadLocked(uint8_t* status) {
  uint8_t audio = CDROM_AUDIO_NO_STATUS;
  if (analog_ == Analog::Playing) {
    auto played = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - playClock_);
    head_ =
        static_cast<int32_t>(std::min<int64_t>(playFrom_ + played.count() * 75 / 1000, playTo_));
    if (head_ >= playTo_) analog_ = Analog::Completed;
  }
  switch (analog_) {
    case Analog::Playing:
      audio = CDROM_AUDIO_PLAY;
      break;
    case Analog::Paused:
      audio = CDROM_AUDIO_PAUSED;
      break;
    case Analog::Completed:
      audio = CDROM_AUDIO_COMPLETED;
      if (status) analog_ = Analog::Idle;  // told once, as a drive tells it
      break;
    case Analog::Idle:
      break;
  }
  if (status) *status = audio;
  return head_;
}

int Drive::PlayAudioLocked(void* argument, bool) {
  if (!PresentLocked()) return -ENOMEDIUM;
  const auto* range = static_cast<const cdrom_msf*>(argument);
  int32_t from = SectorOf(range->cdmsf_min0, range->cdmsf_sec0, range->cdmsf_frame0);
  int32_t to = SectorOf(range->cdmsf_min1, range->cdmsf_sec1, range->cdmsf_frame1);
  const SheetTrack* track = sheet_.TrackAt(from);
  if (!track || to <= from || to > sheet_.leadout) return -EINVAL;
  if (!track->audio) return -EIO;  // ILLEGAL MODE FOR THIS TRACK
  analog_ = Analog::Playing;
  playFrom_ = head_ = from;
  playTo_ = to;
  playClock_ = Clock::now();
  spinning_ = true;
  lastRead_ = playClock_;
  return 0;
}

int Drive::SubChannelLocked(void* argument, bool) {
  auto* channel = static_cast<cdrom_subchnl*>(argument);
  uint8_t format = channel->cdsc_format;
  memset(channel, 0, sizeof *channel);
  channel->cdsc_format = format;
  channel->cdsc_audiostatus = CDROM_AUDIO_NO_STATUS;
  if (!PresentLocked()) return -ENOMEDIUM;
  if (format != CDROM_MSF && format != CDROM_LBA) return -EINVAL;
  uint8_t status;
  int32_t head = HeadLocked(&status);
  const SheetTrack* track = sheet_.TrackAt(std::min(head, sheet_.leadout - 1));
  channel->cdsc_audiostatus = status;
  channel->cdsc_adr = 1;
  channel->cdsc_ctrl = track ? track->Control() : 0;
  channel->cdsc_trk = static_cast<uint8_t>(track ? track->number : 0);
  channel->cdsc_ind = 1;
  PutAddress(&channel->cdsc_absaddr, format, head, true);
  PutAddress(&channel->cdsc_reladdr, format, track ? head - track->start : 0, false);
  return 0;
}

int Drive::VolumeReadLocked(void* argument, bool) {
  // The kernel asks mode page 0E for it.
  if (!PresentLocked()) return -ENOMEDIUM;
  auto* volume = static_cast<cdrom_volctrl*>(argument);
  volume->channel0 = mode_.volume[0];
  volume->channel1 = mode_.volume[1];
  volume->channel2 = volume->channel3 = 0;
  return 0;
}

int Drive::VolumeControlLocked(void* argument, bool) {
  // The kernel asks mode page 0E and selects it back, changed.
  if (!PresentLocked()) return -ENOMEDIUM;
  const auto* volume = static_cast<const cdrom_volctrl*>(argument);
  mode_.volume = {volume->channel0, volume->channel1};
  return 0;
}

int Drive::StartLocked(void*, bool) { return PresentLocked() ? 0 : -ENOMEDIUM; }

int Drive::StopLocked(void*, bool) {
  HeadLocked(nullptr);
  analog_ = Analog::Idle;
  return 0;
}

int Drive::PauseLocked(void*, bool) {
  HeadLocked(nullptr);
  if (analog_ == Analog::Playing) analog_ = Analog::Paused;
  return 0;
}

int Drive::ResumeLocked(void*, bool) {
  if (analog_ == Analog::Paused) {
    analog_ = Analog::Playing;
    playFrom_ = head_;
    playClock_ = Clock::now();
  }
  return 0;
}

}  // namespace simdrive
