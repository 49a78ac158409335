// SPDX-License-Identifier: GPL-3.0-or-later
// The device's one pending notification. A new request that asks for one
// replaces the old, which learns why it will never complete; the request
// itself completes at most once.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_NOTIFY_SLOT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_NOTIFY_SLOT_H

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace cdaudio {

class NotifySlot {
 public:
  // Posts MM_MCINOTIFY to `window` with `code` for `device`.
  static void Post(HWND window, MCIDEVICEID device, WPARAM code);

  // Holds `window` for the request tagged `tag`; a notification still
  // held is posted first with `displaced` (MCI_NOTIFY_SUPERSEDED or
  // MCI_NOTIFY_ABORTED).
  void Arm(HWND window, MCIDEVICEID device, uint64_t tag, WPARAM displaced);
  // Posts `code` to the held window if it belongs to request `tag`.
  void Complete(uint64_t tag, WPARAM code);
  // Posts `code` to whatever window is held.
  void CompleteAny(WPARAM code);

 private:
  std::mutex mutex_;
  bool armed_ = false;
  HWND window_ = nullptr;
  MCIDEVICEID device_ = 0;
  uint64_t tag_ = 0;
};

}  // namespace cdaudio

#endif
