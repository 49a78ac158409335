// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/cdaudio/notify_slot.h"

namespace cdaudio {

void NotifySlot::Post(HWND window, MCIDEVICEID device, WPARAM code) {
  PostMessageA(window, MM_MCINOTIFY, code, static_cast<LPARAM>(device));
}

void NotifySlot::Arm(HWND window, MCIDEVICEID device, uint64_t tag, WPARAM displaced) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (armed_) Post(window_, device_, displaced);
  armed_ = true;
  window_ = window;
  device_ = device;
  tag_ = tag;
}

void NotifySlot::Complete(uint64_t tag, WPARAM code) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!armed_ || tag_ != tag) return;
  armed_ = false;
  Post(window_, device_, code);
}

void NotifySlot::CompleteAny(WPARAM code) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!armed_) return;
  armed_ = false;
  Post(window_, device_, code);
}

}  // namespace cdaudio
