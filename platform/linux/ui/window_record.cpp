// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/window_record.h"

#include <algorithm>
#include <mutex>

namespace ui {
namespace {

std::mutex registryMutex;

// In the order of creation. A dialog has a handful of windows, so a list
// searched from the start is as quick as any index.
std::vector<WindowRecord*>& Registry() {
  static auto* live = new std::vector<WindowRecord*>;  // outlives every window
  return *live;
}

}  // namespace

WindowRecord::WindowRecord() {
  std::lock_guard<std::mutex> lock(registryMutex);
  Registry().push_back(this);
}

WindowRecord::~WindowRecord() { Unregister(); }

void WindowRecord::Unregister() {
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& live = Registry();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

WindowRecord* FromHandle(HWND handle) {
  std::lock_guard<std::mutex> lock(registryMutex);
  const auto& live = Registry();
  auto found = std::find(live.begin(), live.end(), reinterpret_cast<WindowRecord*>(handle));
  return found == live.end() ? nullptr : *found;
}

std::vector<WindowRecord*> LiveWindows() {
  std::lock_guard<std::mutex> lock(registryMutex);
  return Registry();
}

}  // namespace ui
