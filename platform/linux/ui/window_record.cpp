#include "platform/linux/ui/window_record.h"

#include <mutex>
#include <unordered_set>

namespace ui {
namespace {

std::mutex registryMutex;

std::unordered_set<const void*>& Registry() {
  static auto* live = new std::unordered_set<const void*>;  // outlives every window
  return *live;
}

}  // namespace

WindowRecord::WindowRecord() {
  std::lock_guard<std::mutex> lock(registryMutex);
  Registry().insert(this);
}

WindowRecord::~WindowRecord() {
  std::lock_guard<std::mutex> lock(registryMutex);
  Registry().erase(this);
}

WindowRecord* FromHandle(HWND handle) {
  std::lock_guard<std::mutex> lock(registryMutex);
  if (Registry().count(handle) == 0) return nullptr;
  return reinterpret_cast<WindowRecord*>(handle);
}

}  // namespace ui
